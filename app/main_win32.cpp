// Entry point of the Windows program as shipped: a GUI-subsystem program that
// opens no window and no console, on the real machine.
#include <cstdlib>

#include "app/run_program.h"
#include "platform/win32_platform.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide text is UTF-16 on Windows");

// The entry point the mingw-w64 runtime calls for a -municode GUI program,
// declared without <windows.h> (which only platform/ includes); the
// parameters are HINSTANCE, HINSTANCE, LPWSTR and int there. None of them is
// used: the command line is taken as the runtime's wide argument vector,
// which the runtime has already split by the Windows quoting rules.
struct HINSTANCE__;
extern "C" int __stdcall wWinMain(HINSTANCE__* /*instance*/, HINSTANCE__* /*previousInstance*/,
                                  wchar_t* /*commandLine*/, int /*showCommand*/) {
  static koa::Win32Platform platform;
  koa::installPlatform(platform);
  return koa::runProgram(__argc, reinterpret_cast<const char16_t* const*>(__wargv));
}
