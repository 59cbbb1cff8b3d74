// activateVroc: the Firmware Commit and the reading of the VROC driver's
// status codes.
#include <array>
#include <string>

#include "platform/platform.h"
#include "report/console.h"
#include "report/number_text.h"
#include "transfer/nvme_raid_request.h"
#include "transfer/request_buffer.h"
#include "transfer/srb_io_control.h"
#include "transfer/vroc_path.h"

namespace koa {
namespace {

// The driver's own status codes 1 to 15, as the driver names them.
constexpr std::array<const char16_t*, 16> kDriverStatusMessages = {
    nullptr,
    u"  [ERROR] NVME_IOCTL_INVALID_IOCTL_CODE\n\n",
    u"  [ERROR] NVME_IOCTL_INVALID_SIGNATURE\n\n",
    u"  [ERROR] NVME_IOCTL_INSUFFICIENT_IN_BUFFER\n\n",
    u"  [ERROR] NVME_IOCTL_INSUFFICIENT_OUT_BUFFER\n\n",
    u"  [ERROR] NVME_IOCTL_UNSUPPORTED_ADMIN_CMD\n\n",
    u"  [ERROR] NVME_IOCTL_UNSUPPORTED_NVM_CMD\n\n",
    u"  [ERROR] NVME_IOCTL_INVALID_ADMIN_VENDOR_SPECIFIC_OPCODE\n\n",
    u"  [ERROR] NVME_IOCTL_INVALID_NVM_VENDOR_SPECIFIC_OPCODE\n\n",
    u"  [ERROR] NVME_IOCTL_ADMIN_VENDOR_SPECIFIC_NOT_SUPPORTED\n\n",
    u"  [ERROR] NVME_IOCTL_NVM_VENDOR_SPECIFIC_NOT_SUPPORTED\n\n",
    u"  [ERROR] NVME_IOCTL_INVALID_DIRECTION_SPECIFIED\n\n",
    u"  [ERROR] NVME_IOCTL_INVALID_META_BUFFER_LENGTH\n\n",
    u"  [ERROR] NVME_IOCTL_PRP_TRANSLATION_ERROR\n\n",
    u"  [ERROR] NVME_IOCTL_INVALID_PATH_TARGET_ID\n\n",
    u"  [ERROR] NVME_IOCTL_FORMAT_NVM_PENDING\n\n",
};

}  // namespace

std::uint32_t activateVroc(Handle port, std::int32_t vrocDiskId) {
  Platform& platform = currentPlatform();
  RequestBuffer request(nvme_raid::kCommitRequestLength);
  if (!request.ok()) return kVrocFailed;
  nvme_raid::buildFirmwareCommit(request, vrocDiskId);
  std::uint32_t bytesReturned = 0;
  if (!platform.DeviceIoControl(port, IOCTL_SCSI_MINIPORT, /*inBuffer=*/request.data(), request.size32(),
                                /*outBuffer=*/request.data(), request.size32(), &bytesReturned)) {
    console::wide(u"  [ERROR] Firmware activate IOCTL failed: 0x" + widen(hexUpper(platform.GetLastError())) +
                  u"\n");
    return kVrocFailed;
  }

  const std::uint32_t returnCode = srb::returnCode(request);
  if (returnCode == 0) {
    const std::uint32_t dword3 = nvme_raid::completionDword3(request);
    if (dword3 < nvme_raid::kFirstFailingDword3) {
      console::wide(u"  [PASS] Firmware activation succeeded. Please reboot computer.\n\n");
      return kVrocRebootRequired;
    }
    // Every nonzero status is a failure, the reset-required ones included.
    console::wide(u"  [ERROR] Firmware activation failed: Completion Queue Entry Status Value: 0x" +
                  widen(hex08(dword3 >> nvme_raid::kStatusShift)) + u"\n");
    return kVrocNotReachedOrRefused;
  }
  if (returnCode < kDriverStatusMessages.size()) {
    console::wide(kDriverStatusMessages[returnCode]);
  } else {
    console::wide(u"  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode " +
                  widen(decimal(static_cast<std::int32_t>(returnCode))) + u"\n\n");
  }
  return kVrocFailed;
}

}  // namespace koa
