// The requests of the inbox path, declared once.
//
// Identify: IOCTL_STORAGE_QUERY_PROPERTY with a STORAGE_PROPERTY_QUERY whose
// additional parameters hold a STORAGE_PROTOCOL_SPECIFIC_DATA (ntddstor.h),
// 4,144 bytes, input and output:
//
//   OFFSET SIZE FIELD                          VALUE
//        0    4 PropertyId                     49 StorageAdapterProtocolSpecificProperty
//        4    4 QueryType                      0 PropertyStandardQuery
//        8    4 ProtocolType                   3 ProtocolTypeNvme
//       12    4 DataType                       1 NVMeDataTypeIdentify
//       16    4 ProtocolDataRequestValue       1 Identify Controller
//       20    4 ProtocolDataRequestSubValue    0
//       24    4 ProtocolDataOffset             40 (from byte 8)
//       28    4 ProtocolDataLength             4096
//       32   16 rest of the protocol header    0
//       48 4096 Identify Controller data       returned by the drive
//
// The answer is a STORAGE_PROTOCOL_DATA_DESCRIPTOR over the same bytes:
// Version and Size at 0 and 4, then the protocol data header at 8, whose
// ProtocolDataOffset (24, counted from byte 8) and ProtocolDataLength (28)
// say where the driver put the Identify data. A driver may place it other
// than where it was asked to; the data is read where the answer says.
//
// Firmware: IOCTL_SCSI_MINIPORT with an SRB_IO_CONTROL ("FIRMWARE",
// IOCTL_SCSI_MINIPORT_FIRMWARE, 30 s) followed by a FIRMWARE_REQUEST_BLOCK
// (ntddscsi.h) and the function's data:
//
//   OFFSET SIZE FIELD
//        0   28 SRB_IO_CONTROL; Length = request length - 28
//       28   24 FIRMWARE_REQUEST_BLOCK (wire/firmware_request_block.h):
//               Function 1 get info, 2 download, 3 activate; DataBufferOffset 52,
//               DataBufferLength = request length - 52
//       52      function data:
//               get info  nothing sent; the driver answers a STORAGE_FIRMWARE_INFO
//                         at DataBufferOffset (see firmware_info.h)
//               download  STORAGE_FIRMWARE_DOWNLOAD: 52 Version 1, 56 Size 24,
//                         60 Offset, 68 BufferSize, 76 the piece's image bytes
//               activate  STORAGE_FIRMWARE_ACTIVATE: 52 Version 1, 56 Size 12,
//                         60 SlotToActivate
//
// Get info and activate are as long as the buffer, 76 + pieceSize. A
// download is 76 + the piece's length: the same for every piece but a
// shorter last one, whose request is exactly as long as its data, so that
// Length, DataBufferLength and BufferSize all describe what is on the wire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "wire/firmware_request_block.h"
#include "wire/nvme.h"
#include "wire/request_buffer.h"
#include "wire/srb_io_control.h"

namespace koa::inbox {

// ---- Identify query ----
inline constexpr std::size_t kPropertyIdOffset = 0;
inline constexpr std::size_t kQueryTypeOffset = 4;
inline constexpr std::size_t kProtocolTypeOffset = 8;
inline constexpr std::size_t kDataTypeOffset = 12;
inline constexpr std::size_t kProtocolDataRequestValueOffset = 16;
inline constexpr std::size_t kProtocolDataRequestSubValueOffset = 20;
inline constexpr std::size_t kProtocolDataOffsetOffset = 24;
inline constexpr std::size_t kProtocolDataLengthOffset = 28;
inline constexpr std::size_t kProtocolSpecificDataOffset = 8;
inline constexpr std::size_t kIdentifyDataOffset = 48;
inline constexpr std::uint32_t kIdentifyRequestLength = 4144;

inline constexpr std::uint32_t kStorageAdapterProtocolSpecificProperty = 49;
inline constexpr std::uint32_t kPropertyStandardQuery = 0;
inline constexpr std::uint32_t kProtocolTypeNvme = 3;
inline constexpr std::uint32_t kNvmeDataTypeIdentify = 1;

static_assert(kIdentifyDataOffset - kProtocolSpecificDataOffset == 40);
static_assert(kIdentifyDataOffset + nvme::kIdentifyLength == kIdentifyRequestLength);

// Builds the identify query in a buffer of kIdentifyRequestLength bytes.
void buildIdentifyQuery(RequestBuffer& buffer);

// Where the answer in buffer places the Identify data: its offset in the
// buffer, or nothing when the answer gives a length other than 4,096 bytes
// or a place that does not lie wholly inside the buffer.
[[nodiscard]] std::optional<std::size_t> identifyDataPosition(const RequestBuffer& answer);

// ---- Firmware requests ----
inline constexpr char kFirmwareSignature[] = "FIRMWARE";
inline constexpr std::uint32_t kFirmwareTimeoutSeconds = 30;

inline constexpr std::size_t kRequestBlockOffset = srb::kHeaderLength;
inline constexpr std::size_t kDataBufferOffsetOffset =
    kRequestBlockOffset + firmware_block::kDataBufferOffsetOffset;
inline constexpr std::size_t kFunctionDataOffset = firmware_block::dataOffset(kRequestBlockOffset);
inline constexpr std::size_t kDownloadImageOffset = kFunctionDataOffset + firmware_block::kDownloadImageOffset;

static_assert(kRequestBlockOffset == 28);
static_assert(kDataBufferOffsetOffset == 44);
static_assert(kFunctionDataOffset == 52);
static_assert(kDownloadImageOffset == 76);
static_assert(kFunctionDataOffset + firmware_block::kActivateSlotOffset == 60);
static_assert(sizeof kFirmwareSignature == srb::kSignatureLength + 1);

// The length of a firmware request carrying pieceLength image bytes, and of
// the buffer for a drive's pieces: 76 + pieceLength.
[[nodiscard]] constexpr std::uint32_t firmwareRequestLength(std::uint32_t pieceLength) {
  return static_cast<std::uint32_t>(kDownloadImageOffset) + pieceLength;
}
static_assert(firmwareRequestLength(4096) == 4172);
static_assert(firmwareRequestLength(8 * 4096) == 32844);

// Each builder writes into a zero-filled buffer of firmwareRequestLength(
// pieceSize) bytes. Get info and activate fill the whole buffer.
void buildGetInfo(RequestBuffer& buffer);
void buildActivate(RequestBuffer& buffer, std::uint8_t slotToActivate);
// Writes the download of the `length` bytes at `bytes`, which sit at
// imageOffset in the image, and returns the request's length (76 + length).
// length must not exceed the buffer's piece size.
[[nodiscard]] std::uint32_t buildDownload(RequestBuffer& buffer, std::uint32_t imageOffset,
                                          const std::uint8_t* bytes, std::uint32_t length);

}  // namespace koa::inbox
