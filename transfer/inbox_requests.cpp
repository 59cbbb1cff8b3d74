#include "transfer/inbox_requests.h"

#include "platform/win_types.h"
#include "transfer/byte_order.h"

namespace koa::inbox {
namespace {

void writeRequestBlock(std::uint8_t* request, std::uint32_t requestLength, std::uint32_t function) {
  srb::writeHeader(request, requestLength, kFirmwareSignature, kFirmwareTimeoutSeconds,
                   IOCTL_SCSI_MINIPORT_FIRMWARE);
  put32(request, kBlockVersionOffset, kRequestBlockVersion);
  put32(request, kBlockSizeOffset, kRequestBlockSize);
  put32(request, kFunctionOffset, function);
  put32(request, kFlagsOffset, kFlagController);
  put32(request, kDataBufferOffsetOffset, static_cast<std::uint32_t>(kFunctionDataOffset));
  put32(request, kDataBufferLengthOffset, requestLength - static_cast<std::uint32_t>(kFunctionDataOffset));
}

}  // namespace

void buildIdentifyQuery(RequestBuffer& buffer) {
  std::uint8_t* query = buffer.data();
  put32(query, kPropertyIdOffset, kStorageAdapterProtocolSpecificProperty);
  put32(query, kQueryTypeOffset, kPropertyStandardQuery);
  put32(query, kProtocolTypeOffset, kProtocolTypeNvme);
  put32(query, kDataTypeOffset, kNvmeDataTypeIdentify);
  put32(query, kProtocolDataRequestValueOffset, kIdentifyControllerCns);
  put32(query, kProtocolDataRequestSubValueOffset, 0);
  put32(query, kProtocolDataOffsetOffset,
        static_cast<std::uint32_t>(kIdentifyDataOffset - kProtocolSpecificDataOffset));
  put32(query, kProtocolDataLengthOffset, static_cast<std::uint32_t>(identify::kLength));
}

void buildGetInfo(RequestBuffer& buffer) {
  writeRequestBlock(buffer.data(), buffer.size32(), kFunctionGetInfo);
}

void buildActivate(RequestBuffer& buffer, std::uint8_t slotToActivate) {
  std::uint8_t* request = buffer.data();
  writeRequestBlock(request, buffer.size32(), kFunctionActivate);
  put32(request, kActivateVersionOffset, kActivateVersion);
  put32(request, kActivateSizeOffset, kActivateSize);
  put8(request, kActivateSlotOffset, slotToActivate);
}

std::uint32_t buildDownload(RequestBuffer& buffer, std::uint32_t imageOffset, const std::uint8_t* bytes,
                            std::uint32_t length) {
  const std::uint32_t requestLength = firmwareRequestLength(length);
  std::uint8_t* request = buffer.data();
  writeRequestBlock(request, requestLength, kFunctionDownload);
  put32(request, kDownloadVersionOffset, kDownloadVersion);
  put32(request, kDownloadSizeOffset, kDownloadSize);
  put64(request, kDownloadOffsetOffset, imageOffset);
  put64(request, kDownloadBufferSizeOffset, length);
  putBytes(request, kDownloadImageOffset, bytes, length);
  return requestLength;
}

}  // namespace koa::inbox
