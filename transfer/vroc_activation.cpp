// activateVroc: the Firmware Commit and the reading of the VROC driver's
// status codes.
#include <array>
#include <string>

#include "platform/platform.h"
#include "report/console.h"
#include "report/number_text.h"
#include "transfer/vroc_path.h"
#include "wire/in_place_ioctl.h"
#include "wire/nvme_raid_request.h"
#include "wire/request_buffer.h"
#include "wire/srb_io_control.h"

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

ResultCode activateVroc(Handle port, std::int32_t vrocDiskId) {
  RequestBuffer request(nvme_raid::kCommitRequestLength);
  if (!request.ok()) return result::kFailed;
  nvme_raid::buildFirmwareCommit(request, vrocDiskId);
  if (!sendInPlace(port, IOCTL_SCSI_MINIPORT, request)) {
    console::wide(u"  [ERROR] Firmware activate IOCTL failed: 0x" +
                  widen(hexUpper(currentPlatform().GetLastError())) + u"\n");
    return result::kFailed;
  }

  const std::uint32_t returnCode = srb::returnCode(request);
  if (returnCode == 0) {
    const std::uint32_t dword3 = nvme_raid::completionDword3(request);
    if (dword3 < nvme_raid::kFirstFailingDword3) {
      console::wide(u"  [PASS] Firmware activation succeeded. Please reboot computer.\n\n");
      return result::kRebootRequired;
    }
    // Every nonzero status is a failure, the reset-required ones included.
    console::wide(u"  [ERROR] Firmware activation failed: Completion Queue Entry Status Value: 0x" +
                  widen(hex08(dword3 >> nvme_raid::kStatusShift)) + u"\n");
    return result::kNotReached;
  }
  if (returnCode < kDriverStatusMessages.size()) {
    console::wide(kDriverStatusMessages[returnCode]);
  } else {
    console::wide(u"  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode " +
                  widen(decimal(static_cast<std::int32_t>(returnCode))) + u"\n\n");
  }
  return result::kFailed;
}

}  // namespace koa
