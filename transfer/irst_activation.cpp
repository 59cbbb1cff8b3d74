#include <string>

#include "platform/platform.h"
#include "report/console.h"
#include "report/number_text.h"
#include "transfer/intel_fw_request.h"
#include "transfer/irst_path.h"
#include "wire/firmware_request_block.h"
#include "wire/in_place_ioctl.h"
#include "wire/request_buffer.h"
#include "wire/srb_io_control.h"

namespace koa {
namespace {

struct Outcome {
  std::u16string message;
  ResultCode result;
};

// The driver answers the activation with a firmware status of the miniport
// firmware interface.
Outcome outcomeOf(std::uint32_t returnCode) {
  using namespace firmware_block;
  const std::u16string code = widen(decimal(static_cast<std::int32_t>(returnCode)));
  switch (returnCode) {
    case kStatusSuccess:
      return {u"  [PASS] Firmware activation succeeded.\n\n", result::kSucceeded};
    case kStatusError:
    case kStatusControllerError:
      return {u"  [ERROR] Firmware activate failed: error returned\n\n", result::kFailed};
    case kStatusIllegalRequest:
    case kStatusInvalidParameter:
    case kStatusInputBufferTooBig:
      return {u"  [ERROR] Firmware activate parameter error: srbControl->ReturnCode " + code + u"\n\n",
              result::kFailed};
    case kStatusInvalidSlot:
      return {u"  [ERROR] Firmware activate failed: invalid slot number\n\n", result::kFailed};
    case kStatusInvalidImage:
      return {u"  [ERROR] Firmware activate failed: invalid firmware image\n\n", result::kFailed};
    case kStatusPowerCycleRequired:
      return {u"  [PASS] Firmware activate succeeded. PLEASE SHUTDOWN COMPUTER.\n\n\n", result::kRebootRequired};
    default:
      return {u"  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode " + code +
                  u"\n\n",
              result::kFailed};
  }
}

}  // namespace

ResultCode activateIrst(Handle device, std::uint32_t pathId) {
  RequestBuffer buffer(intel_fw::kActivateRequestSize);
  if (!buffer.ok()) return result::kFailed;
  intel_fw::writeActivateRequest(buffer.data(), static_cast<std::uint8_t>(pathId & 0xFF));

  if (!sendInPlace(device, IOCTL_SCSI_MINIPORT, buffer)) {
    console::wide(u"  [ERROR] Firmware activate IOCTL failed: 0x" +
                  widen(hexUpper(currentPlatform().GetLastError())) + u"\n");
    return result::kFailed;
  }
  const Outcome outcome = outcomeOf(srb::returnCode(buffer));
  console::wide(outcome.message);
  return outcome.result;
}

}  // namespace koa
