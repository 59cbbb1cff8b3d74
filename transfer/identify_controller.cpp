#include "transfer/identify_controller.h"

#include "wire/nvme.h"

namespace koa::identify {

std::u16string fieldText(const std::uint8_t* identifyData, std::size_t offset, std::size_t length) {
  std::u16string text;
  for (std::size_t i = 0; i < length && identifyData[offset + i] != 0; ++i)
    text.push_back(static_cast<char16_t>(static_cast<signed char>(identifyData[offset + i])));
  return text;
}

void fillFromIdentify(DriveRecord& record, const std::uint8_t* identifyData) {
  record.serialNumber += fieldText(identifyData, nvme::kSerialNumberOffset, nvme::kSerialNumberLength);
  record.modelNumber += fieldText(identifyData, nvme::kModelNumberOffset, nvme::kModelNumberLength);
  record.firmwareRevision += fieldText(identifyData, nvme::kFirmwareRevisionOffset, nvme::kFirmwareRevisionLength);
  record.updateGranularity = updateGranularityOf(identifyData);
  record.pciVendorId = get16(identifyData, nvme::kVendorIdOffset);
}

}  // namespace koa::identify
