// koa-limited-token.exe PROGRAM [ARGUMENTS...]: runs PROGRAM with the
// limited token linked to this process's own (what a filtered administrator
// token or a plain user has), waits for it and exits with its exit code.
// Under Wine every program gets an elevated token; this is how the Wine
// device tests start the shipped program as a caller without administrator
// rights. The child inherits the standard handles.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

// The command line after this program's own name, as the runtime split it.
std::wstring restOfCommandLine(int argc, wchar_t** argv) {
  std::wstring line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += L' ';
    line += L'"';
    line += argv[i];
    line += L'"';
  }
  return line;
}

int failed(const wchar_t* step) {
  std::fwprintf(stderr, L"koa-limited-token: %ls failed: %lu\n", step, GetLastError());
  return 255;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fwprintf(stderr, L"usage: koa-limited-token PROGRAM [ARGUMENTS...]\n");
    return 255;
  }
  HANDLE own = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &own)) return failed(L"OpenProcessToken");
  TOKEN_LINKED_TOKEN linked{};
  DWORD length = 0;
  if (!GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &length))
    return failed(L"GetTokenInformation(TokenLinkedToken)");
  HANDLE primary = nullptr;
  if (!DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, /*lpTokenAttributes=*/nullptr, SecurityImpersonation,
                        TokenPrimary, &primary))
    return failed(L"DuplicateTokenEx");

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION child{};
  std::wstring line = restOfCommandLine(argc, argv);
  if (!CreateProcessAsUserW(primary, argv[1], line.data(), /*lpProcessAttributes=*/nullptr,
                            /*lpThreadAttributes=*/nullptr, /*bInheritHandles=*/TRUE, /*dwCreationFlags=*/0,
                            /*lpEnvironment=*/nullptr, /*lpCurrentDirectory=*/nullptr, &startup, &child))
    return failed(L"CreateProcessAsUserW");
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD exitCode = 255;
  GetExitCodeProcess(child.hProcess, &exitCode);
  return static_cast<int>(exitCode);
}
