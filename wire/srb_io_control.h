// SRB_IO_CONTROL, the header of every driver-private IOCTL_SCSI_MINIPORT
// request (ntddscsi.h):
//
//   OFFSET SIZE DESCRIPTION
//        0    4 HeaderLength, always 28
//        4    8 Signature (8 bytes, as the driver spells it)
//       12    4 Timeout in seconds
//       16    4 ControlCode
//       20    4 ReturnCode: 0 sent (or a target, where a driver says so);
//                 the driver's status on return
//       24    4 Length: the buffer length less 28
#pragma once

#include <cstdint>

#include "wire/byte_order.h"
#include "wire/request_buffer.h"

namespace koa::srb {

inline constexpr std::size_t kHeaderLengthOffset = 0;
inline constexpr std::size_t kSignatureOffset = 4;
inline constexpr std::size_t kTimeoutOffset = 12;
inline constexpr std::size_t kControlCodeOffset = 16;
inline constexpr std::size_t kReturnCodeOffset = 20;
inline constexpr std::size_t kLengthOffset = 24;
inline constexpr std::uint32_t kHeaderLength = 28;
inline constexpr std::size_t kSignatureLength = 8;

// Writes the header at the start of a request of requestLength bytes (at
// least 28); Length is requestLength - 28. signature must point at exactly 8
// bytes.
inline void writeHeader(std::uint8_t* request, std::uint32_t requestLength,
                        const char (&signature)[kSignatureLength + 1], std::uint32_t timeoutSeconds,
                        std::uint32_t controlCode, std::uint32_t returnCode = 0) {
  put32(request, kHeaderLengthOffset, kHeaderLength);
  putBytes(request, kSignatureOffset, signature, kSignatureLength);
  put32(request, kTimeoutOffset, timeoutSeconds);
  put32(request, kControlCodeOffset, controlCode);
  put32(request, kReturnCodeOffset, returnCode);
  put32(request, kLengthOffset, requestLength - kHeaderLength);
}

// The same for a request as long as its whole buffer.
inline void writeHeader(RequestBuffer& buffer, const char (&signature)[kSignatureLength + 1],
                        std::uint32_t timeoutSeconds, std::uint32_t controlCode,
                        std::uint32_t returnCode = 0) {
  writeHeader(buffer.data(), buffer.size32(), signature, timeoutSeconds, controlCode, returnCode);
}

inline std::uint32_t returnCode(const RequestBuffer& buffer) {
  return get32(buffer.data(), kReturnCodeOffset);
}

}  // namespace koa::srb
