// Checks of the Win32 platform against a real SetupAPI and kernel, run under
// Wine by tests/windows/run-wine-tests.sh (a Windows console program; the
// gtest suite is not part of the Windows build). Each operation of the seam is
// called the way the system calls it and its answer is checked: the results,
// the error values, the sizes and the buffers handed back. A swapped argument,
// a lost out-value or a clobbered last error shows up here.
//
// Prints one "PASS name" or "FAIL name: detail" line a check and exits with
// the number of failures.
#include <cstdio>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "platform/win32_platform.h"

namespace {

using namespace koa;

int failures = 0;

void expect(bool condition, const std::string& name, const std::string& detail = "") {
  if (condition) {
    std::printf("PASS %s\n", name.c_str());
  } else {
    ++failures;
    std::printf("FAIL %s%s%s\n", name.c_str(), detail.empty() ? "" : ": ", detail.c_str());
  }
}

std::string number(std::uint64_t value) { return std::to_string(value); }

std::string narrow(const char16_t* text) {
  std::string result;
  for (; *text != 0; ++text) result.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
  return result;
}

// Published values the seam does not carry.
constexpr std::uint32_t ERROR_MOD_NOT_FOUND = 126;
constexpr std::uint32_t ERROR_INVALID_USER_BUFFER = 1784;
constexpr std::uint32_t FILE_DEVICE_DISK = 7;
// GUID_DEVINTERFACE_HID: Wine's prefix always has its two virtual HID devices.
constexpr Guid kHidInterface = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

Platform& platform() {
  static Win32Platform win32;
  return win32;
}

void checkDeviceNodes() {
  Platform& p = platform();
  const DevInfoSet set = p.SetupDiGetClassDevsW(nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
  expect(set != kInvalidDevInfoSet, "SetupDiGetClassDevsW lists all present device nodes");
  if (set == kInvalidDevInfoSet) return;

  std::set<std::uint32_t> devInsts;
  std::uint32_t count = 0;
  SpDevInfoData device{};
  device.cbSize = sizeof device;
  while (p.SetupDiEnumDeviceInfo(set, count, &device)) {
    devInsts.insert(device.DevInst);
    ++count;
  }
  const std::uint32_t endError = p.GetLastError();
  expect(count > 0, "SetupDiEnumDeviceInfo finds device nodes", "none found");
  expect(endError == ERROR_NO_MORE_ITEMS, "SetupDiEnumDeviceInfo ends with ERROR_NO_MORE_ITEMS",
         "error " + number(endError));
  expect(devInsts.size() == count, "every device node has its own DevInst",
         number(devInsts.size()) + " distinct of " + number(count));

  // A second set of the same nodes, built while the first lives, lists them
  // in the same order: each node must carry the DevInst it has in the first
  // (readBusNumber finds a disk in another set by it). Wine 8 alone would
  // give every element of every set a new one.
  const DevInfoSet again = p.SetupDiGetClassDevsW(nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
  std::uint32_t same = 0;
  SpDevInfoData first{};
  SpDevInfoData second{};
  for (std::uint32_t index = 0; index < count; ++index) {
    first.cbSize = second.cbSize = sizeof(SpDevInfoData);
    if (p.SetupDiEnumDeviceInfo(set, index, &first) && p.SetupDiEnumDeviceInfo(again, index, &second) &&
        first.DevInst == second.DevInst)
      ++same;
  }
  expect(again != kInvalidDevInfoSet && same == count, "a device node has the same DevInst in two sets",
         number(same) + " of " + number(count));
  if (again != kInvalidDevInfoSet) p.SetupDiDestroyDeviceInfoList(again);

  SpDevInfoData wrongSize{};
  wrongSize.cbSize = 5;
  const bool acceptedWrongSize = p.SetupDiEnumDeviceInfo(set, 0, &wrongSize);
  const std::uint32_t wrongSizeError = p.GetLastError();
  expect(!acceptedWrongSize && wrongSizeError == ERROR_INVALID_USER_BUFFER,
         "SetupDiEnumDeviceInfo hands cbSize to Windows, which refuses a wrong one",
         "error " + number(wrongSizeError));

  // The growing-buffer protocol on the hardware identifiers of the first node
  // that has them.
  bool sawHardwareIds = false;
  for (std::uint32_t index = 0; index < count && !sawHardwareIds; ++index) {
    device.cbSize = sizeof device;
    if (!p.SetupDiEnumDeviceInfo(set, index, &device)) break;
    std::uint32_t type = 0;
    std::uint32_t required = 0;
    if (p.SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, &type, nullptr, 0, &required))
      continue;
    if (p.GetLastError() != ERROR_INSUFFICIENT_BUFFER) continue;
    sawHardwareIds = true;
    expect(required >= 4 && required % 2 == 0, "SPDRP_HARDWAREID: the size query gives the required size",
           number(required));

    std::vector<std::uint8_t> buffer(required + 16, 0xEE);
    std::uint32_t shortRequired = 0;
    const bool shortRead = p.SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, &type,
                                                               buffer.data(), required - 2, &shortRequired);
    const std::uint32_t shortError = p.GetLastError();
    expect(!shortRead && shortError == ERROR_INSUFFICIENT_BUFFER && shortRequired == required,
           "SPDRP_HARDWAREID: a buffer two bytes short fails with the same required size",
           "error " + number(shortError) + ", required " + number(shortRequired));

    std::uint32_t fullRequired = 0;
    type = 0;
    const bool fullRead = p.SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, &type,
                                                              buffer.data(), required, &fullRequired);
    expect(fullRead && type == REG_MULTI_SZ && fullRequired == required,
           "SPDRP_HARDWAREID: a buffer of the required size reads a REG_MULTI_SZ",
           "type " + number(type) + ", required " + number(fullRequired));
    expect(buffer[required - 4] == 0 && buffer[required - 3] == 0 && buffer[required - 2] == 0 &&
               buffer[required - 1] == 0 && buffer[required] == 0xEE,
           "SPDRP_HARDWAREID: the list ends with two NULs at the required size, nothing written past it");
  }
  expect(sawHardwareIds, "a device node has hardware identifiers");

  // Outputs that Windows leaves alone stay what the caller had: the seam's
  // copy through a DWORD of its own must not write a value Windows never gave.
  device.cbSize = sizeof device;
  (void)p.SetupDiEnumDeviceInfo(set, 0, &device);
  std::uint32_t untouchedType = 55;
  std::uint32_t untouchedRequired = 66;
  std::uint8_t small[8];
  const bool readBadProperty = p.SetupDiGetDeviceRegistryPropertyW(
      set, &device, /*property=*/0x1234, &untouchedType, small, sizeof small, &untouchedRequired);
  expect(!readBadProperty && untouchedType == 55 && untouchedRequired == 66,
         "an unknown registry property fails and leaves the caller's type and size alone",
         "type " + number(untouchedType) + ", required " + number(untouchedRequired));

  const DevPropKey missingKey = {{0x6B6F6121, 0x7465, 0x7374, {1, 2, 3, 4, 5, 6, 7, 8}}, 2};
  std::uint32_t propertyType = 55;
  std::uint32_t propertyRequired = 66;
  const bool readMissingKey = p.SetupDiGetDevicePropertyW(set, &device, &missingKey, &propertyType, small,
                                                          sizeof small, &propertyRequired, 0);
  const std::uint32_t missingKeyError = p.GetLastError();
  expect(!readMissingKey && missingKeyError == ERROR_NOT_FOUND,
         "SetupDiGetDevicePropertyW: a property the node lacks fails with ERROR_NOT_FOUND",
         "error " + number(missingKeyError));

  expect(p.SetupDiDestroyDeviceInfoList(set), "SetupDiDestroyDeviceInfoList releases the set");
  const bool destroyedTwice = p.SetupDiDestroyDeviceInfoList(set);
  const std::uint32_t destroyedTwiceError = p.GetLastError();
  expect(!destroyedTwice && destroyedTwiceError == ERROR_INVALID_HANDLE,
         "SetupDiDestroyDeviceInfoList of a released set fails with ERROR_INVALID_HANDLE",
         "error " + number(destroyedTwiceError));

  const DevInfoSet noClass = p.SetupDiGetClassDevsW(nullptr, nullptr, DIGCF_PRESENT);
  const std::uint32_t noClassError = p.GetLastError();
  expect(noClass == kInvalidDevInfoSet && noClassError == ERROR_INVALID_PARAMETER,
         "SetupDiGetClassDevsW without a class or DIGCF_ALLCLASSES fails with ERROR_INVALID_PARAMETER",
         "error " + number(noClassError));
}

void checkDeviceInterfaces() {
  Platform& p = platform();
  const DevInfoSet set = p.SetupDiGetClassDevsW(&kHidInterface, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  expect(set != kInvalidDevInfoSet, "SetupDiGetClassDevsW lists the present HID interfaces");
  if (set == kInvalidDevInfoSet) return;

  std::uint32_t count = 0;
  SpDeviceInterfaceData interfaceData{};
  interfaceData.cbSize = sizeof interfaceData;
  while (p.SetupDiEnumDeviceInterfaces(set, nullptr, &kHidInterface, count, &interfaceData)) {
    const std::string name = "interface " + number(count) + ": ";
    std::uint32_t required = 0;
    const bool sized = p.SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &required, nullptr);
    const std::uint32_t sizeError = p.GetLastError();
    expect(!sized && sizeError == ERROR_INSUFFICIENT_BUFFER && required > kInterfaceDetailPathOffset + 2,
           name + "the detail size query gives the required size",
           "error " + number(sizeError) + ", required " + number(required));

    std::vector<std::uint8_t> detail(required, 0xEE);
    detail[0] = 5;  // a wrong cbSize
    detail[1] = detail[2] = detail[3] = 0;
    const bool wrongSize =
        p.SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail.data(), required, nullptr, nullptr);
    const std::uint32_t wrongSizeError = p.GetLastError();
    expect(!wrongSize && wrongSizeError == ERROR_INVALID_USER_BUFFER,
           name + "the detail buffer reaches Windows as it is (a wrong cbSize is refused)",
           "error " + number(wrongSizeError));

    detail.assign(required, 0xEE);
    detail[0] = static_cast<std::uint8_t>(kInterfaceDetailCbSize);
    detail[1] = detail[2] = detail[3] = 0;
    SpDevInfoData device{};
    device.cbSize = sizeof device;
    std::uint32_t readRequired = 0;
    const bool read = p.SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail.data(), required,
                                                         &readRequired, &device);
    expect(read, name + "the detail reads into a buffer of the required size",
           "error " + number(p.GetLastError()));
    if (!read) break;

    std::u16string path;
    for (std::size_t at = kInterfaceDetailPathOffset; at + 1 < detail.size(); at += 2) {
      const auto unit = static_cast<char16_t>(detail[at] | detail[at + 1] << 8);
      if (unit == 0) break;
      path.push_back(unit);
    }
    const std::size_t pathBytes = kInterfaceDetailPathOffset + (path.size() + 1) * 2;
    expect(path.rfind(u"\\\\?\\", 0) == 0 && pathBytes == required,
           name + "the path starts with \\\\?\\ and fills the required size with its NUL",
           narrow(path.c_str()) + " in " + number(required) + " bytes");

    SpDevInfoData element{};
    element.cbSize = sizeof element;
    bool found = false;
    for (std::uint32_t index = 0; !found && p.SetupDiEnumDeviceInfo(set, index, &element); ++index)
      found = element.DevInst == device.DevInst;
    expect(found, name + "the detail names the interface's element of the set",
           "DevInst " + number(device.DevInst));

    const Handle handle = p.CreateFileW(path.c_str(), /*desiredAccess=*/0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        OPEN_EXISTING, 0);
    expect(handle != kInvalidHandle, name + "CreateFileW opens the interface path",
           "error " + number(p.GetLastError()));
    if (handle != kInvalidHandle) expect(p.CloseHandle(handle), name + "CloseHandle closes it");
    ++count;
  }
  const std::uint32_t endError = p.GetLastError();
  expect(count > 0, "SetupDiEnumDeviceInterfaces finds the HID interfaces", "none found");
  expect(endError == ERROR_NO_MORE_ITEMS, "SetupDiEnumDeviceInterfaces ends with ERROR_NO_MORE_ITEMS",
         "error " + number(endError));
  (void)p.SetupDiDestroyDeviceInfoList(set);
}

void checkDeviceIo() {
  Platform& p = platform();
  const Handle missing = p.CreateFileW(u"\\\\.\\KoaNoSuchDevice", GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
  const std::uint32_t missingError = p.GetLastError();
  expect(missing == kInvalidHandle && missingError == ERROR_FILE_NOT_FOUND,
         "CreateFileW of a device that does not exist fails with ERROR_FILE_NOT_FOUND",
         "error " + number(missingError));

  // Query access: no rights needed, on Windows as under Wine.
  const Handle disk =
      p.CreateFileW(u"\\\\.\\PHYSICALDRIVE0", 0, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
  expect(disk != kInvalidHandle, "CreateFileW opens \\\\.\\PHYSICALDRIVE0", "error " + number(p.GetLastError()));
  if (disk == kInvalidHandle) return;

  std::uint8_t number12[12];
  std::fill(std::begin(number12), std::end(number12), 0xEE);
  std::uint32_t returned = 0;
  const bool asked = p.DeviceIoControl(disk, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, number12,
                                       sizeof number12, &returned);
  const auto dword = [&](std::size_t at) {
    return static_cast<std::uint32_t>(number12[at] | number12[at + 1] << 8 | number12[at + 2] << 16 |
                                      number12[at + 3] << 24);
  };
  expect(asked && returned == 12 && dword(0) == FILE_DEVICE_DISK && dword(4) == 0,
         "IOCTL_STORAGE_GET_DEVICE_NUMBER answers disk 0 in 12 bytes",
         "returned " + number(returned) + ", type " + number(dword(0)) + ", number " + number(dword(4)));
  // Windows itself needs somewhere to put the count when there is no
  // OVERLAPPED (without one it faults; Wine tolerates it); the seam lets the
  // caller pass none.
  expect(p.DeviceIoControl(disk, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, number12, sizeof number12,
                           /*bytesReturned=*/nullptr),
         "DeviceIoControl without a place for the byte count succeeds");

  expect(p.CloseHandle(disk), "CloseHandle closes the disk");
  const bool closedTwice = p.CloseHandle(disk);
  const std::uint32_t closedTwiceError = p.GetLastError();
  expect(!closedTwice && closedTwiceError == ERROR_INVALID_HANDLE,
         "CloseHandle of a closed handle fails with ERROR_INVALID_HANDLE", "error " + number(closedTwiceError));
  const bool askedClosed = p.DeviceIoControl(disk, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, number12,
                                             sizeof number12, &returned);
  const std::uint32_t askedClosedError = p.GetLastError();
  expect(!askedClosed && askedClosedError == ERROR_INVALID_HANDLE,
         "DeviceIoControl on a closed handle fails with ERROR_INVALID_HANDLE", "error " + number(askedClosedError));
}

void checkProcess() {
  Platform& p = platform();
  expect(p.GetModuleHandleW(nullptr) != 0, "GetModuleHandleW(null) gives the program's module");
  expect(p.GetModuleHandleW(u"kernel32.dll") != 0, "GetModuleHandleW finds a loaded DLL by its name");
  const std::intptr_t notLoaded = p.GetModuleHandleW(u"koa-not-loaded.dll");
  const std::uint32_t notLoadedError = p.GetLastError();
  expect(notLoaded == 0 && notLoadedError == ERROR_MOD_NOT_FOUND,
         "GetModuleHandleW of a DLL not loaded gives null and ERROR_MOD_NOT_FOUND",
         "error " + number(notLoadedError));

  const std::uint32_t original = p.SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  const std::uint32_t set = p.SetErrorMode(0);
  (void)p.SetErrorMode(original);
  expect(set == (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX),
         "SetErrorMode sets the mode and returns the one before", "returned " + number(set));

  // The local time agrees with the C runtime's; read again if a second
  // boundary fell between the two readings.
  bool same = false;
  std::string seen;
  for (int attempt = 0; attempt < 3 && !same; ++attempt) {
    const std::time_t now = std::time(nullptr);
    const std::tm runtime = *std::localtime(&now);
    const LocalTime local = p.localTime();
    same = local.year == runtime.tm_year + 1900 && local.month == runtime.tm_mon + 1 &&
           local.day == runtime.tm_mday && local.hour == runtime.tm_hour && local.minute == runtime.tm_min &&
           local.second == runtime.tm_sec;
    seen = number(static_cast<std::uint64_t>(local.year)) + "-" + number(static_cast<std::uint64_t>(local.month)) +
           "-" + number(static_cast<std::uint64_t>(local.day)) + " " +
           number(static_cast<std::uint64_t>(local.hour)) + ":" + number(static_cast<std::uint64_t>(local.minute)) +
           ":" + number(static_cast<std::uint64_t>(local.second));
  }
  expect(same, "localTime is the C runtime's local time, field by field", seen);
}

// Wine gives a program an elevated token on a visible window station, which
// is what the system must read from them.
void checkRightsAndDesktop() {
  Platform& p = platform();
  Handle token = kInvalidHandle;
  const bool opened = p.OpenProcessToken(TOKEN_QUERY, &token);
  expect(opened && token != kInvalidHandle, "OpenProcessToken gives the process's token",
         "error " + number(p.GetLastError()));
  std::uint8_t elevation[kTokenElevationLength] = {0xAA, 0xAA, 0xAA, 0xAA};
  std::uint32_t returned = 0;
  const bool read = p.GetTokenInformation(token, TokenElevation, elevation, sizeof elevation, &returned);
  expect(read && returned == kTokenElevationLength && elevation[0] == 1 && elevation[1] == 0 && elevation[2] == 0 &&
             elevation[3] == 0,
         "GetTokenInformation(TokenElevation) fills TokenIsElevated and says how much",
         "result " + number(read) + ", returned " + number(returned) + ", first byte " + number(elevation[0]));
  std::uint32_t needed = 0;
  const bool small = p.GetTokenInformation(token, TokenElevation, elevation, 2, &needed);
  const std::uint32_t smallError = p.GetLastError();
  expect(!small && smallError == ERROR_INSUFFICIENT_BUFFER && needed == kTokenElevationLength,
         "GetTokenInformation into too small a buffer: ERROR_INSUFFICIENT_BUFFER and the size",
         "error " + number(smallError) + ", needed " + number(needed));
  expect(p.CloseHandle(token), "the token is closed with CloseHandle");

  const Handle station = p.GetProcessWindowStation();
  expect(station != 0, "GetProcessWindowStation gives the window station");
  std::uint8_t flags[kUserObjectFlagsLength] = {};
  needed = 0;
  const bool asked = p.GetUserObjectInformationW(station, UOI_FLAGS, flags, sizeof flags, &needed);
  const std::uint32_t dwFlags = static_cast<std::uint32_t>(flags[8] | flags[9] << 8 | flags[10] << 16 | flags[11] << 24);
  expect(asked && needed == kUserObjectFlagsLength && (dwFlags & WSF_VISIBLE) != 0,
         "GetUserObjectInformationW(UOI_FLAGS) of the window station has WSF_VISIBLE",
         "result " + number(asked) + ", needed " + number(needed) + ", dwFlags " + number(dwFlags));
}

// The run lock's calls as the system makes them, with the security it gives
// the lock: owner Administrators, a protected DACL for SYSTEM and the
// Administrators. Wine's program holds the Administrators group, as an
// elevated administrator's does.
void checkMutex() {
  Platform& p = platform();
  expect(p.SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32), "SetDefaultDllDirectories(SYSTEM32) is accepted",
         "error " + number(p.GetLastError()));
  const bool unknown = p.SetDefaultDllDirectories(0x1);
  expect(!unknown && p.GetLastError() == ERROR_INVALID_PARAMETER,
         "SetDefaultDllDirectories with an unknown flag: ERROR_INVALID_PARAMETER");

  static const std::uint8_t kDescriptor[] = {
      0x01, 0x00, 0x04, 0x90, 0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x24, 0, 0, 0,  // header
      1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0,                      // S-1-5-32-544
      2, 0, 0x34, 0, 2, 0, 0, 0,                                                  // ACL
      0, 0, 0x14, 0, 0x01, 0x00, 0x1F, 0x00, 1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0,  // SYSTEM
      0, 0, 0x18, 0, 0x01, 0x00, 0x1F, 0x00, 1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};
  const std::u16string name = u"Global\\koa-win32-platform-check";
  const Handle first = p.CreateMutexW(kDescriptor, false, name.c_str());
  const std::uint32_t createError = p.GetLastError();
  expect(first != 0 && createError == ERROR_SUCCESS, "CreateMutexW creates the named mutex",
         "handle " + number(static_cast<std::uint64_t>(first)) + ", error " + number(createError));
  const Handle second = p.CreateMutexW(kDescriptor, false, name.c_str());
  expect(second != 0 && p.GetLastError() == ERROR_ALREADY_EXISTS, "CreateMutexW again opens it: ERROR_ALREADY_EXISTS");

  std::uint8_t owner[96] = {};
  std::uint32_t needed = 0;
  const bool asked = p.GetKernelObjectSecurity(first, OWNER_SECURITY_INFORMATION, owner, sizeof owner, &needed);
  const std::uint32_t ownerAt = static_cast<std::uint32_t>(owner[4] | owner[5] << 8);
  const bool administrators = asked && needed == 36 && ownerAt == 20 && owner[21] == 2 && owner[27] == 5 &&
                              owner[28] == 32 && owner[32] == 0x20 && owner[33] == 0x02;
  expect(administrators, "GetKernelObjectSecurity gives the owner S-1-5-32-544 the descriptor named",
         "result " + number(asked) + ", needed " + number(needed) + ", owner at " + number(ownerAt));
  std::uint32_t small = 0;
  const bool tooSmall = p.GetKernelObjectSecurity(first, OWNER_SECURITY_INFORMATION, owner, 8, &small);
  expect(!tooSmall && p.GetLastError() == ERROR_INSUFFICIENT_BUFFER && small == needed,
         "GetKernelObjectSecurity into too small a buffer: ERROR_INSUFFICIENT_BUFFER and the size");

  expect(p.WaitForSingleObject(first, 0) == WAIT_OBJECT_0, "WaitForSingleObject takes the free mutex");
  expect(p.ReleaseMutex(second), "ReleaseMutex through either handle");
  expect(!p.ReleaseMutex(first), "ReleaseMutex of a mutex not owned fails");
  expect(p.CloseHandle(second) && p.CloseHandle(first), "the mutex handles are closed with CloseHandle");
}

}  // namespace

int wmain() {
  checkDeviceNodes();
  checkDeviceInterfaces();
  checkDeviceIo();
  checkProcess();
  checkRightsAndDesktop();
  checkMutex();
  return failures;
}
