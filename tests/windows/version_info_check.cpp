// koa-version-info-check.exe PROGRAM: prints PROGRAM's version record as
// Windows hands it to Explorer, Get-Item's VersionInfo and software
// inventories (GetFileVersionInfoW, VerQueryValueW), one "name value" line a
// field, for tests/windows/run-wine-tests.sh to compare with what the build
// promised. The strings are looked up in the language and code page that the
// record's own Translation names, as those readers do. A field that Windows
// does not find is printed as "name (none)". Exits with 1 when the file has
// no version record at all.
//
// A test program: version.dll is no KnownDLL, so the shipped programs never
// import it.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string narrow(const wchar_t* text) {
  std::string result;
  for (; *text != 0; ++text) result.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
  return result;
}

std::string fourPart(DWORD high, DWORD low) {
  return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." + std::to_string(HIWORD(low)) +
         "." + std::to_string(LOWORD(low));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: koa-version-info-check PROGRAM\n");
    return 2;
  }
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
  if (size == 0) {
    std::printf("no version record: GetFileVersionInfoSizeW failed with %lu\n", GetLastError());
    return 1;
  }
  std::vector<unsigned char> record(size);
  if (!GetFileVersionInfoW(argv[1], 0, size, record.data())) {
    std::printf("no version record: GetFileVersionInfoW failed with %lu\n", GetLastError());
    return 1;
  }

  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueW(record.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    std::printf("Signature 0x%08lX\n", fixed->dwSignature);
    std::printf("FixedFileVersion %s\n", fourPart(fixed->dwFileVersionMS, fixed->dwFileVersionLS).c_str());
    std::printf("FixedProductVersion %s\n", fourPart(fixed->dwProductVersionMS, fixed->dwProductVersionLS).c_str());
  } else {
    std::printf("VS_FIXEDFILEINFO (none)\n");
  }

  wchar_t block[32] = L"\\StringFileInfo\\040904B0\\";
  if (VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation", &value, &length) && length >= 4) {
    const auto* translation = static_cast<const WORD*>(value);
    std::printf("Translation %04X %04X\n", translation[0], translation[1]);
    std::swprintf(block, sizeof block / sizeof block[0], L"\\StringFileInfo\\%04X%04X\\", translation[0],
                  translation[1]);
  } else {
    std::printf("Translation (none)\n");
  }

  for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
                              L"OriginalFilename", L"ProductName", L"ProductVersion", L"FirmwareRevision"}) {
    const std::wstring path = std::wstring(block) + name;
    if (VerQueryValueW(record.data(), path.c_str(), &value, &length) && length > 0) {
      std::printf("%s %s\n", narrow(name).c_str(), narrow(static_cast<const wchar_t*>(value)).c_str());
    } else {
      std::printf("%s (none)\n", narrow(name).c_str());
    }
  }
  return 0;
}
