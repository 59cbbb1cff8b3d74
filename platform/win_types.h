// Windows types and published constants that cross the platform seam,
// declared without <windows.h> so that the system's code and the simulated
// machine share one spelling of them. The Win32 body checks at compile time
// that each structure matches the SDK's own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace koa {

using Handle = std::intptr_t;      // HANDLE
using DevInfoSet = std::intptr_t;  // HDEVINFO
inline constexpr Handle kInvalidHandle = -1;          // INVALID_HANDLE_VALUE
inline constexpr DevInfoSet kInvalidDevInfoSet = -1;  // INVALID_HANDLE_VALUE

struct Guid {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
static_assert(sizeof(Guid) == 16);

constexpr bool operator==(const Guid& a, const Guid& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

struct DevPropKey {  // DEVPROPKEY
  Guid fmtid;
  std::uint32_t pid;
};
static_assert(sizeof(DevPropKey) == 20);

struct SpDevInfoData {  // SP_DEVINFO_DATA (64-bit layout)
  std::uint32_t cbSize;
  Guid ClassGuid;
  std::uint32_t DevInst;
  std::uintptr_t Reserved;
};

struct SpDeviceInterfaceData {  // SP_DEVICE_INTERFACE_DATA (64-bit layout)
  std::uint32_t cbSize;
  Guid InterfaceClassGuid;
  std::uint32_t Flags;
  std::uintptr_t Reserved;
};

static_assert(sizeof(void*) != 8 || sizeof(SpDevInfoData) == 32);
static_assert(sizeof(void*) != 8 || sizeof(SpDeviceInterfaceData) == 32);
static_assert(offsetof(SpDevInfoData, DevInst) == 20);

// SP_DEVICE_INTERFACE_DETAIL_DATA_W: cbSize (8 on 64-bit Windows) then the
// NUL-terminated UTF-16 device path.
inline constexpr std::uint32_t kInterfaceDetailCbSize = 8;
inline constexpr std::size_t kInterfaceDetailPathOffset = 4;

struct LocalTime {
  int year;    // e.g. 2026
  int month;   // 1 to 12
  int day;     // 1 to 31
  int hour;    // 0 to 23
  int minute;  // 0 to 59
  int second;  // 0 to 59 (60 on a leap second)
};

// ---- Error values (winerror.h) ----
inline constexpr std::uint32_t ERROR_SUCCESS = 0;
inline constexpr std::uint32_t ERROR_INVALID_FUNCTION = 1;
inline constexpr std::uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr std::uint32_t ERROR_PATH_NOT_FOUND = 3;
inline constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr std::uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr std::uint32_t ERROR_INVALID_DATA = 13;
inline constexpr std::uint32_t ERROR_GEN_FAILURE = 31;
inline constexpr std::uint32_t ERROR_SHARING_VIOLATION = 32;
inline constexpr std::uint32_t ERROR_NOT_SUPPORTED = 50;
inline constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr std::uint32_t ERROR_SEM_TIMEOUT = 121;
inline constexpr std::uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr std::uint32_t ERROR_INVALID_NAME = 123;
inline constexpr std::uint32_t ERROR_ALREADY_EXISTS = 183;
inline constexpr std::uint32_t ERROR_MORE_DATA = 234;
inline constexpr std::uint32_t ERROR_NO_MORE_ITEMS = 259;
inline constexpr std::uint32_t ERROR_IO_DEVICE = 1117;
inline constexpr std::uint32_t ERROR_NOT_FOUND = 1168;
inline constexpr std::uint32_t ERROR_INVALID_OWNER = 1307;
inline constexpr std::uint32_t ERROR_INVALID_SECURITY_DESCR = 1338;
inline constexpr std::uint32_t ERROR_TIMEOUT = 1460;
// Windows Installer's "another installation is in progress", which
// deployment tools retry.
inline constexpr std::uint32_t ERROR_INSTALL_ALREADY_RUNNING = 1618;

// ---- CreateFileW ----
inline constexpr std::uint32_t GENERIC_READ = 0x80000000u;
inline constexpr std::uint32_t GENERIC_WRITE = 0x40000000u;
inline constexpr std::uint32_t FILE_SHARE_READ = 0x1;
inline constexpr std::uint32_t FILE_SHARE_WRITE = 0x2;
inline constexpr std::uint32_t OPEN_EXISTING = 3;
inline constexpr std::uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr std::uint32_t FILE_FLAG_OVERLAPPED = 0x40000000u;
inline constexpr std::uint32_t FILE_SHARE_DELETE = 0x4;
inline constexpr std::uint32_t OPEN_ALWAYS = 4;
inline constexpr std::uint32_t FILE_READ_ATTRIBUTES = 0x80;
inline constexpr std::uint32_t FILE_FLAG_OPEN_REPARSE_POINT = 0x00200000;
inline constexpr std::uint32_t FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;

// ---- Files: type, information, names ----
inline constexpr std::uint32_t FILE_TYPE_UNKNOWN = 0;
inline constexpr std::uint32_t FILE_TYPE_DISK = 1;
inline constexpr std::uint32_t FILE_TYPE_CHAR = 2;
inline constexpr std::uint32_t FILE_TYPE_PIPE = 3;
inline constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr std::uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr std::uint32_t FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
inline constexpr std::uint32_t FILE_NAME_NORMALIZED = 0x0;
inline constexpr std::uint32_t VOLUME_NAME_DOS = 0x0;

struct FileTime {  // FILETIME
  std::uint32_t dwLowDateTime;
  std::uint32_t dwHighDateTime;
};

struct ByHandleFileInformation {  // BY_HANDLE_FILE_INFORMATION
  std::uint32_t dwFileAttributes;
  FileTime ftCreationTime;
  FileTime ftLastAccessTime;
  FileTime ftLastWriteTime;
  std::uint32_t dwVolumeSerialNumber;
  std::uint32_t nFileSizeHigh;
  std::uint32_t nFileSizeLow;
  std::uint32_t nNumberOfLinks;
  std::uint32_t nFileIndexHigh;
  std::uint32_t nFileIndexLow;
};
static_assert(sizeof(ByHandleFileInformation) == 52);

// ---- SetupAPI ----
inline constexpr std::uint32_t DIGCF_PRESENT = 0x02;
inline constexpr std::uint32_t DIGCF_ALLCLASSES = 0x04;
inline constexpr std::uint32_t DIGCF_DEVICEINTERFACE = 0x10;
inline constexpr std::uint32_t SPDRP_HARDWAREID = 1;
inline constexpr std::uint32_t REG_MULTI_SZ = 7;
inline constexpr std::uint32_t DEVPROP_TYPE_STRING = 0x12;

inline constexpr Guid GUID_DEVINTERFACE_DISK = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
inline constexpr Guid GUID_DEVINTERFACE_STORAGEPORT = {
    0x2ACCFE60, 0xC130, 0x11D2, {0xB0, 0x82, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

inline constexpr DevPropKey DEVPKEY_Device_Parent = {
    {0x4340A6C5, 0x93FA, 0x4706, {0x97, 0x2C, 0x7B, 0x64, 0x80, 0x08, 0xA5, 0xA7}}, 8};
inline constexpr DevPropKey DEVPKEY_Device_InstanceId = {
    {0x78C34FC8, 0x104A, 0x4ACA, {0x9E, 0xA4, 0x52, 0x4D, 0x52, 0x99, 0x6E, 0x57}}, 256};
inline constexpr DevPropKey DEVPKEY_Device_DriverDesc = {
    {0xA8B865DD, 0x2E3D, 0x4094, {0xAD, 0x97, 0xE5, 0x93, 0xA7, 0x0C, 0x75, 0xD6}}, 4};
inline constexpr DevPropKey DEVPKEY_Device_LocationInfo = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 15};

// ---- I/O control codes ----
inline constexpr std::uint32_t IOCTL_STORAGE_GET_DEVICE_NUMBER = 0x2D1080;
inline constexpr std::uint32_t IOCTL_STORAGE_QUERY_PROPERTY = 0x2D1400;
inline constexpr std::uint32_t IOCTL_SCSI_MINIPORT = 0x4D008;
inline constexpr std::uint32_t IOCTL_SCSI_MINIPORT_FIRMWARE = 0x1B0780;

// ---- Process ----
inline constexpr std::uint32_t SEM_FAILCRITICALERRORS = 0x0001;
inline constexpr std::uint32_t SEM_NOOPENFILEERRORBOX = 0x8000;
inline constexpr std::uint32_t MB_OK = 0x0;
inline constexpr std::uint32_t LOAD_LIBRARY_SEARCH_APPLICATION_DIR = 0x200;
inline constexpr std::uint32_t LOAD_LIBRARY_SEARCH_USER_DIRS = 0x400;
inline constexpr std::uint32_t LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800;
inline constexpr std::uint32_t LOAD_LIBRARY_SEARCH_DEFAULT_DIRS = 0x1000;

// ---- Mutexes and waits ----
inline constexpr std::uint32_t WAIT_OBJECT_0 = 0;
inline constexpr std::uint32_t WAIT_ABANDONED = 0x80;
inline constexpr std::uint32_t WAIT_TIMEOUT = 258;
inline constexpr std::uint32_t WAIT_FAILED = 0xFFFFFFFFu;
inline constexpr std::uint32_t MUTEX_ALL_ACCESS = 0x1F0001;

// ---- Security descriptors (self-relative) ----
inline constexpr std::uint32_t OWNER_SECURITY_INFORMATION = 0x1;
inline constexpr std::uint32_t SECURITY_DESCRIPTOR_REVISION = 1;
inline constexpr std::uint32_t SE_DACL_PRESENT = 0x0004;
inline constexpr std::uint32_t SE_DACL_PROTECTED = 0x1000;
inline constexpr std::uint32_t SE_SELF_RELATIVE = 0x8000;
inline constexpr std::uint32_t ACL_REVISION = 2;
inline constexpr std::uint32_t ACCESS_ALLOWED_ACE_TYPE = 0;
inline constexpr std::uint32_t SID_REVISION = 1;
inline constexpr std::uint32_t SECURITY_LOCAL_SYSTEM_RID = 18;
inline constexpr std::uint32_t SECURITY_BUILTIN_DOMAIN_RID = 32;
inline constexpr std::uint32_t DOMAIN_ALIAS_RID_ADMINS = 544;
// SECURITY_DESCRIPTOR_RELATIVE: Revision, Sbz1, Control (WORD), then the
// offsets of Owner, Group, Sacl and Dacl (DWORDs).
inline constexpr std::size_t kSecurityDescriptorControlOffset = 2;
inline constexpr std::size_t kSecurityDescriptorOwnerOffset = 4;
inline constexpr std::size_t kSecurityDescriptorDaclOffset = 16;
inline constexpr std::size_t kSecurityDescriptorLength = 20;
// ACL: AclRevision, Sbz1, AclSize (WORD), AceCount (WORD), Sbz2 (WORD).
inline constexpr std::size_t kAclLength = 8;
// ACCESS_ALLOWED_ACE: AceType, AceFlags, AceSize (WORD), Mask, then the SID.
inline constexpr std::size_t kAccessAllowedAceSidOffset = 8;
// SID: Revision, SubAuthorityCount, IdentifierAuthority (6 bytes, big
// endian), then the sub-authorities (DWORDs).
inline constexpr std::size_t kSidSubAuthorityOffset = 8;
inline constexpr std::size_t kSidMaxLength = 68;  // SECURITY_MAX_SID_SIZE
inline constexpr std::uint8_t kSecurityNtAuthority = 5;  // SECURITY_NT_AUTHORITY's last byte

// ---- Token and window station ----
inline constexpr std::uint32_t TOKEN_QUERY = 0x0008;
inline constexpr std::uint32_t TokenElevation = 20;  // TOKEN_INFORMATION_CLASS
// TOKEN_ELEVATION: one DWORD, TokenIsElevated.
inline constexpr std::uint32_t kTokenElevationLength = 4;
inline constexpr int UOI_FLAGS = 1;
// USEROBJECTFLAGS: fInherit, fReserved (BOOLs), then dwFlags.
inline constexpr std::uint32_t kUserObjectFlagsLength = 12;
inline constexpr std::size_t kUserObjectFlagsDwFlagsOffset = 8;
inline constexpr std::uint32_t WSF_VISIBLE = 0x0001;

// ---- The machine's name (COMPUTER_NAME_FORMAT) ----
inline constexpr std::uint32_t ComputerNameNetBIOS = 0;
inline constexpr std::uint32_t ComputerNamePhysicalDnsHostname = 5;
inline constexpr std::uint32_t ComputerNameMax = 8;

}  // namespace koa
