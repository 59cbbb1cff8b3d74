#include <string>

#include "platform/platform.h"
#include "report/console.h"
#include "report/number_text.h"
#include "transfer/intel_fw_request.h"
#include "transfer/irst_path.h"
#include "transfer/request_buffer.h"
#include "transfer/srb_io_control.h"

namespace koa {
namespace {

struct Outcome {
  std::u16string message;
  std::uint32_t result;
};

// The driver answers the activation with a status of the Windows miniport
// firmware interface (FIRMWARE_STATUS_*).
Outcome outcomeOf(std::uint32_t returnCode) {
  const std::u16string code = widen(decimal(static_cast<std::int32_t>(returnCode)));
  switch (returnCode) {
    case 0x00:  // FIRMWARE_STATUS_SUCCESS
      return {u"  [PASS] Firmware activation succeeded.\n\n", 0};
    case 0x01:  // FIRMWARE_STATUS_ERROR
    case 0x10:  // FIRMWARE_STATUS_CONTROLLER_ERROR
      return {u"  [ERROR] Firmware activate failed: error returned\n\n", 1};
    case 0x02:  // FIRMWARE_STATUS_ILLEGAL_REQUEST
    case 0x03:  // FIRMWARE_STATUS_INVALID_PARAMETER
    case 0x04:  // FIRMWARE_STATUS_INPUT_BUFFER_TOO_BIG
      return {u"  [ERROR] Firmware activate parameter error: srbControl->ReturnCode " + code + u"\n\n", 1};
    case 0x06:  // FIRMWARE_STATUS_INVALID_SLOT
      return {u"  [ERROR] Firmware activate failed: invalid slot number\n\n", 1};
    case 0x07:  // FIRMWARE_STATUS_INVALID_IMAGE
      return {u"  [ERROR] Firmware activate failed: invalid firmware image\n\n", 1};
    case 0x20:  // FIRMWARE_STATUS_POWER_CYCLE_REQUIRED
      return {u"  [PASS] Firmware activate succeeded. PLEASE SHUTDOWN COMPUTER.\n\n\n", 1602};
    default:
      return {u"  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode " + code +
                  u"\n\n",
              1};
  }
}

}  // namespace

std::uint32_t activateIrst(Handle device, std::uint32_t pathId) {
  RequestBuffer buffer(intel_fw::kActivateRequestSize);
  if (!buffer.ok()) return 1;
  intel_fw::writeActivateRequest(buffer.data(), static_cast<std::uint8_t>(pathId & 0xFF));

  Platform& platform = currentPlatform();
  std::uint32_t bytesReturned = 0;
  if (!platform.DeviceIoControl(device, IOCTL_SCSI_MINIPORT, /*inBuffer=*/buffer.data(),
                                /*inBufferSize=*/buffer.size32(), /*outBuffer=*/buffer.data(),
                                /*outBufferSize=*/buffer.size32(), &bytesReturned)) {
    console::wide(u"  [ERROR] Firmware activate IOCTL failed: 0x" +
                  widen(hexUpper(platform.GetLastError())) + u"\n");
    return 1;
  }
  const Outcome outcome = outcomeOf(srb::returnCode(buffer));
  console::wide(outcome.message);
  return outcome.result;
}

}  // namespace koa
