#include "transfer/target_device.h"

#include "report/console.h"
#include "report/number_text.h"

namespace koa {

UniqueHandle openTargetDevice(const std::u16string& path, std::uint32_t shareMode) {
  Platform& platform = currentPlatform();
  UniqueHandle device(platform.CreateFileW(path.c_str(),
                                           /*desiredAccess=*/GENERIC_READ | GENERIC_WRITE, shareMode,
                                           /*creationDisposition=*/OPEN_EXISTING,
                                           /*flagsAndAttributes=*/0));
  if (!device.valid()) {
    console::narrowLine("  [ERROR] Failed to get disk handle: 0x" + hexLower(platform.GetLastError()));
    console::narrowLineEnd();
  }
  return device;
}

}  // namespace koa
