// koa-hardening-planted.exe: a program that breaks the hardening rules on
// purpose, for the test of scripts/pe-hardening-check.py: linked without
// ASLR, high-entropy VA and NX (cmake/windows_program.cmake), with a section
// both writable and executable, and importing a DLL that is no KnownDLL.
// Never run.
#include <windows.h>

// Section flags "wx": writable and executable.
__asm__(".section .wx,\"wx\"\n\t.byte 0xc3\n\t.text\n");

int wmain(int argc, wchar_t** argv) {
  DWORD handle = 0;
  // version.dll: the classic DLL planted next to a downloaded program.
  return argc > 1 ? static_cast<int>(GetFileVersionInfoSizeW(argv[1], &handle)) : 0;
}
