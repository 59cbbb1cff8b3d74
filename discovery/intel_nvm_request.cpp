#include "discovery/intel_nvm_request.h"

#include "transfer/byte_order.h"
#include "transfer/srb_io_control.h"

namespace koa::intel_nvm {

void writeIdentifyRequest(RequestBuffer& request, std::int64_t pathId) {
  std::uint8_t* b = request.data();
  srb::writeHeader(request, kSignature, kTimeoutSeconds, kControlCode);
  put8(b, kDriveAddressOffset, kDriveAddressFirstByte);
  put8(b, kPathIdOffset, static_cast<std::uint8_t>(pathId & 0xFF));
  put32(b, kCommandOffset, kOpcodeIdentify);
  put32(b, kCommandDword10Offset, kCnsIdentifyController);
  put32(b, kDataOffsetFieldOffset, static_cast<std::uint32_t>(kDataOffset));
  put32(b, kDataLengthFieldOffset, static_cast<std::uint32_t>(kDataLength));
}

}  // namespace koa::intel_nvm
