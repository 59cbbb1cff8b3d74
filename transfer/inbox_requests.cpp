#include "transfer/inbox_requests.h"

#include "platform/win_types.h"
#include "wire/byte_order.h"

namespace koa::inbox {
namespace {

void writeRequestBlock(std::uint8_t* request, std::uint32_t requestLength, std::uint32_t function) {
  srb::writeHeader(request, requestLength, kFirmwareSignature, kFirmwareTimeoutSeconds,
                   IOCTL_SCSI_MINIPORT_FIRMWARE);
  firmware_block::writeBlock(request, kRequestBlockOffset, requestLength, function);
}

}  // namespace

void buildIdentifyQuery(RequestBuffer& buffer) {
  std::uint8_t* query = buffer.data();
  put32(query, kPropertyIdOffset, kStorageAdapterProtocolSpecificProperty);
  put32(query, kQueryTypeOffset, kPropertyStandardQuery);
  put32(query, kProtocolTypeOffset, kProtocolTypeNvme);
  put32(query, kDataTypeOffset, kNvmeDataTypeIdentify);
  put32(query, kProtocolDataRequestValueOffset, nvme::kCnsIdentifyController);
  put32(query, kProtocolDataRequestSubValueOffset, 0);
  put32(query, kProtocolDataOffsetOffset,
        static_cast<std::uint32_t>(kIdentifyDataOffset - kProtocolSpecificDataOffset));
  put32(query, kProtocolDataLengthOffset, static_cast<std::uint32_t>(nvme::kIdentifyLength));
}

std::optional<std::size_t> identifyDataPosition(const RequestBuffer& answer) {
  if (!answer.holds(kProtocolDataOffsetOffset, 8)) return std::nullopt;
  const std::uint64_t position =
      std::uint64_t{kProtocolSpecificDataOffset} + get32(answer.data(), kProtocolDataOffsetOffset);
  if (get32(answer.data(), kProtocolDataLengthOffset) != nvme::kIdentifyLength ||
      !answer.holds(position, nvme::kIdentifyLength))
    return std::nullopt;
  return static_cast<std::size_t>(position);
}

void buildGetInfo(RequestBuffer& buffer) {
  writeRequestBlock(buffer.data(), buffer.size32(), firmware_block::kFunctionGetInfo);
}

void buildActivate(RequestBuffer& buffer, std::uint8_t slotToActivate) {
  writeRequestBlock(buffer.data(), buffer.size32(), firmware_block::kFunctionActivate);
  firmware_block::writeActivate(buffer.data(), kFunctionDataOffset, slotToActivate);
}

std::uint32_t buildDownload(RequestBuffer& buffer, std::uint32_t imageOffset, const std::uint8_t* bytes,
                            std::uint32_t length) {
  const std::uint32_t requestLength = firmwareRequestLength(length);
  writeRequestBlock(buffer.data(), requestLength, firmware_block::kFunctionDownload);
  firmware_block::writeDownload(buffer.data(), kFunctionDataOffset, {imageOffset, length}, bytes);
  return requestLength;
}

}  // namespace koa::inbox
