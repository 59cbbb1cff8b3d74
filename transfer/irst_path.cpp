#include "transfer/irst_path.h"

#include "platform/unique_handle.h"
#include "report/console.h"
#include "report/number_text.h"
#include "transfer/target_display.h"

namespace koa {

std::uint32_t updateIrstDrive(const DriveRecord& target, const std::uint32_t& imageSize) {
  writeTargetDisplayBlock(target);

  Platform& platform = currentPlatform();
  // Exclusive: no other program may talk to the controller while a drive
  // behind it takes a new image.
  UniqueHandle controller(platform.CreateFileW(target.devicePath.c_str(),
                                               /*desiredAccess=*/GENERIC_READ | GENERIC_WRITE,
                                               /*shareMode=*/0,
                                               /*creationDisposition=*/OPEN_EXISTING,
                                               /*flagsAndAttributes=*/0));
  if (!controller.valid()) {
    console::narrow("  [ERROR] Failed to get disk handle: 0x" + hexLower(platform.GetLastError()));
    console::narrowLineEnd();
    console::narrowLineEnd();
    return 5;
  }

  if (downloadIrst(controller.get(), target, imageSize) != 0) return 1;
  return activateIrst(controller.get(), static_cast<std::uint32_t>(target.pathId));
}

}  // namespace koa
