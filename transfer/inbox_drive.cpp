#include "transfer/inbox_drive.h"

#include "report/console.h"
#include "report/number_text.h"

namespace koa::inbox {

UniqueHandle openDrive(const std::u16string& devicePath) {
  Platform& platform = currentPlatform();
  UniqueHandle drive(platform.CreateFileW(devicePath.c_str(),
                                          /*desiredAccess=*/GENERIC_READ | GENERIC_WRITE,
                                          /*shareMode=*/FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          /*creationDisposition=*/OPEN_EXISTING,
                                          /*flagsAndAttributes=*/0));
  if (!drive.valid()) {
    console::narrow("  [ERROR] Failed to get disk handle: 0x" + hexLower(platform.GetLastError()));
    console::narrowLineEnd();
    console::narrowLineEnd();
  }
  return drive;
}

bool sendRequest(const UniqueHandle& drive, std::uint32_t ioControlCode, RequestBuffer& buffer,
                 std::uint32_t requestLength) {
  std::uint32_t bytesReturned = 0;
  return currentPlatform().DeviceIoControl(drive.get(), ioControlCode,
                                           /*inBuffer=*/buffer.data(), /*inBufferSize=*/requestLength,
                                           /*outBuffer=*/buffer.data(), /*outBufferSize=*/requestLength,
                                           &bytesReturned);
}

}  // namespace koa::inbox
