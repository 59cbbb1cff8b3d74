#include "discovery/irst_membership.h"

#include <vector>

#include "discovery/csmi_raid_config.h"
#include "discovery/intel_nvm_request.h"
#include "platform/unique_handle.h"
#include "report/console.h"
#include "report/number_text.h"
#include "wire/in_place_ioctl.h"
#include "wire/nvme.h"
#include "wire/request_buffer.h"
#include "wire/srb_io_control.h"

namespace koa {
namespace {

// The IRST driver hands back the whole field: blanks and NULs that pad it
// are part of the text, and each byte becomes one character.
std::u16string wholeField(const std::uint8_t* identifyData, std::size_t offset, std::size_t length) {
  std::u16string text(length, u'\0');
  for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char16_t>(identifyData[offset + i]);
  return text;
}

}  // namespace

std::int32_t queryRaidConfig(DriveRecord candidate, DriveList& drives) {
  RequestBuffer request(csmi::kRequestSize);
  if (!request.ok()) return 5;
  csmi::writeRaidConfigRequest(request);

  Platform& platform = currentPlatform();
  std::vector<std::int64_t> memberPathIds;
  {
    UniqueHandle controller(platform.CreateFileW(candidate.devicePath.c_str(),
                                                 /*desiredAccess=*/GENERIC_READ | GENERIC_WRITE,
                                                 /*shareMode=*/0,
                                                 /*creationDisposition=*/OPEN_EXISTING,
                                                 /*flagsAndAttributes=*/0));
    if (!controller.valid()) return 0;

    if (!sendInPlace(controller.get(), IOCTL_SCSI_MINIPORT, request)) {
      console::wide(u"  [ERROR] CSMI GET RAID CONFIG IOCTL failed: 0x" +
                    widen(hexUpper(platform.GetLastError())) + u"\n\n");
      return 5;
    }
    const std::uint32_t returnCode = srb::returnCode(request);
    if (returnCode != 0) {
      console::narrowLine("  [ERROR] CSMI GET RAID CONFIG ReturnCode: 0x" + hexLower(returnCode));
      console::narrowLineEnd();
      return 5;
    }
    for (std::size_t i = 0; i < csmi::memberCount(request); ++i)
      memberPathIds.push_back(csmi::memberPathId(request, i));
    // The controller handle is exclusive; it is closed here so that the
    // Identify of each member can open the controller again.
  }

  for (const std::int64_t pathId : memberPathIds) {
    DriveRecord member = makeCandidate(DriverKind::IrstRaid, candidate.devicePath, pathId);
    (void)identifyIrstDrive(member, drives);
  }
  return 0;
}

std::int32_t identifyIrstDrive(DriveRecord record, DriveList& drives) {
  RequestBuffer request(intel_nvm::kRequestSize);
  if (!request.ok()) return 8;
  intel_nvm::writeIdentifyRequest(request, record.pathId);

  // Opened for synchronous I/O: the request is sent without an OVERLAPPED
  // structure and its answer is read as soon as the call returns.
  UniqueHandle controller(currentPlatform().CreateFileW(
      record.devicePath.c_str(), /*desiredAccess=*/GENERIC_READ | GENERIC_WRITE,
      /*shareMode=*/FILE_SHARE_READ | FILE_SHARE_WRITE, /*creationDisposition=*/OPEN_EXISTING,
      /*flagsAndAttributes=*/FILE_ATTRIBUTE_NORMAL));
  if (!controller.valid()) return 8;
  if (!sendInPlace(controller.get(), IOCTL_SCSI_MINIPORT, request)) return 5;

  const std::uint8_t* data = request.data() + intel_nvm::kDataOffset;
  record.serialNumber = wholeField(data, nvme::kSerialNumberOffset, nvme::kSerialNumberLength);
  record.modelNumber = wholeField(data, nvme::kModelNumberOffset, nvme::kModelNumberLength);
  record.firmwareRevision = wholeField(data, nvme::kFirmwareRevisionOffset, nvme::kFirmwareRevisionLength);
  record.updateGranularity = updateGranularityOf(data);
  record.pciVendorId = get16(data, nvme::kVendorIdOffset);
  drives.push_back(record);
  return 0;
}

}  // namespace koa
