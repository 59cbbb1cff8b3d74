#include "discovery/intel_nvm_request.h"

#include "wire/byte_order.h"
#include "wire/srb_io_control.h"

namespace koa::intel_nvm {

void writeIdentifyRequest(RequestBuffer& request, std::int64_t pathId) {
  std::uint8_t* b = request.data();
  srb::writeHeader(request, kSignature, kTimeoutSeconds, kControlCode);
  irst::writeDriveAddress(b, pathId);
  put32(b, kCommandOffset, nvme::kOpcodeIdentify);
  put32(b, kCommandDword10Offset, nvme::kCnsIdentifyController);
  put32(b, kDataOffsetFieldOffset, static_cast<std::uint32_t>(kDataOffset));
  put32(b, kDataLengthFieldOffset, static_cast<std::uint32_t>(kDataLength));
}

}  // namespace koa::intel_nvm
