// Entry point of koa-inventory as shipped: a console program, so that
// PowerShell and cmd wait for it and read its standard output, on the real
// machine.
#include "inventory/run_inventory.h"
#include "platform/win32_platform.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide text is UTF-16 on Windows");

// The runtime's wide argument vector, split by the Windows quoting rules (-municode).
int wmain(int argc, wchar_t** argv) {
  static koa::Win32Platform platform;
  koa::installPlatform(platform);
  return koa::runInventory(argc, reinterpret_cast<const char16_t* const*>(argv));
}
