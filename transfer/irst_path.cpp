#include "transfer/irst_path.h"

#include "transfer/target_device.h"
#include "transfer/target_display.h"

namespace koa {

ResultCode updateIrstDrive(const DriveRecord& target, const std::uint32_t& imageSize) {
  writeTargetDisplayBlock(target);

  const UniqueHandle controller = openTargetDevice(target.devicePath, /*shareMode=*/0);
  if (!controller.valid()) return result::kNotReached;

  if (downloadIrst(controller.get(), target, imageSize) != result::kSucceeded) return result::kFailed;
  return activateIrst(controller.get(), static_cast<std::uint32_t>(target.pathId));
}

}  // namespace koa
