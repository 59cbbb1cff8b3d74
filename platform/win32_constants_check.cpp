// Compile-time proof that the published values in platform/win_types.h are
// the Windows SDK's own. This file produces no code.
//
// Once <windows.h> is seen, ERROR_SUCCESS, GENERIC_READ and the rest are
// macros, and koa::ERROR_SUCCESS can no longer be written. So each of our
// values is copied under a prefixed name first (kOurs_ERROR_SUCCESS), and
// compared with the SDK's macro after the SDK headers. The ## operator pastes
// the name unexpanded, while the plain use of the same argument expands to
// the SDK's value.
#include <cstddef>

#include "platform/win_types.h"

#define KOA_SDK_INTEGER_CONSTANTS(X) \
  X(ERROR_SUCCESS)                   \
  X(ERROR_INVALID_FUNCTION)          \
  X(ERROR_FILE_NOT_FOUND)            \
  X(ERROR_PATH_NOT_FOUND)            \
  X(ERROR_ACCESS_DENIED)             \
  X(ERROR_INVALID_HANDLE)            \
  X(ERROR_NOT_ENOUGH_MEMORY)         \
  X(ERROR_INVALID_DATA)              \
  X(ERROR_GEN_FAILURE)               \
  X(ERROR_SHARING_VIOLATION)         \
  X(ERROR_NOT_SUPPORTED)             \
  X(ERROR_INVALID_PARAMETER)         \
  X(ERROR_SEM_TIMEOUT)               \
  X(ERROR_INSUFFICIENT_BUFFER)       \
  X(ERROR_INVALID_NAME)              \
  X(ERROR_ALREADY_EXISTS)            \
  X(ERROR_MORE_DATA)                 \
  X(ERROR_NO_MORE_ITEMS)             \
  X(ERROR_IO_DEVICE)                 \
  X(ERROR_NOT_FOUND)                 \
  X(ERROR_INVALID_OWNER)             \
  X(ERROR_INVALID_SECURITY_DESCR)    \
  X(ERROR_TIMEOUT)                   \
  X(ERROR_INSTALL_ALREADY_RUNNING)   \
  X(GENERIC_READ)                    \
  X(GENERIC_WRITE)                   \
  X(FILE_SHARE_READ)                 \
  X(FILE_SHARE_WRITE)                \
  X(OPEN_EXISTING)                   \
  X(FILE_ATTRIBUTE_NORMAL)           \
  X(FILE_FLAG_OVERLAPPED)            \
  X(FILE_SHARE_DELETE)               \
  X(OPEN_ALWAYS)                     \
  X(FILE_READ_ATTRIBUTES)            \
  X(FILE_FLAG_OPEN_REPARSE_POINT)    \
  X(FILE_FLAG_BACKUP_SEMANTICS)      \
  X(FILE_TYPE_UNKNOWN)               \
  X(FILE_TYPE_DISK)                  \
  X(FILE_TYPE_CHAR)                  \
  X(FILE_TYPE_PIPE)                  \
  X(FILE_ATTRIBUTE_DIRECTORY)        \
  X(FILE_ATTRIBUTE_ARCHIVE)          \
  X(FILE_ATTRIBUTE_REPARSE_POINT)    \
  X(FILE_NAME_NORMALIZED)            \
  X(VOLUME_NAME_DOS)                 \
  X(DIGCF_PRESENT)                   \
  X(DIGCF_ALLCLASSES)                \
  X(DIGCF_DEVICEINTERFACE)           \
  X(SPDRP_HARDWAREID)                \
  X(REG_MULTI_SZ)                    \
  X(DEVPROP_TYPE_STRING)             \
  X(IOCTL_STORAGE_GET_DEVICE_NUMBER) \
  X(IOCTL_STORAGE_QUERY_PROPERTY)    \
  X(IOCTL_SCSI_MINIPORT)             \
  X(SEM_FAILCRITICALERRORS)          \
  X(SEM_NOOPENFILEERRORBOX)          \
  X(MB_OK)                           \
  X(LOAD_LIBRARY_SEARCH_APPLICATION_DIR) \
  X(LOAD_LIBRARY_SEARCH_USER_DIRS)   \
  X(LOAD_LIBRARY_SEARCH_SYSTEM32)    \
  X(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS) \
  X(WAIT_OBJECT_0)                   \
  X(WAIT_ABANDONED)                  \
  X(WAIT_TIMEOUT)                    \
  X(WAIT_FAILED)                     \
  X(MUTEX_ALL_ACCESS)                \
  X(OWNER_SECURITY_INFORMATION)      \
  X(SECURITY_DESCRIPTOR_REVISION)    \
  X(SE_DACL_PRESENT)                 \
  X(SE_DACL_PROTECTED)               \
  X(SE_SELF_RELATIVE)                \
  X(ACL_REVISION)                    \
  X(ACCESS_ALLOWED_ACE_TYPE)         \
  X(SID_REVISION)                    \
  X(SECURITY_LOCAL_SYSTEM_RID)       \
  X(SECURITY_BUILTIN_DOMAIN_RID)     \
  X(DOMAIN_ALIAS_RID_ADMINS)         \
  X(TOKEN_QUERY)                     \
  X(TokenElevation)                  \
  X(UOI_FLAGS)                       \
  X(WSF_VISIBLE)                     \
  X(ComputerNameNetBIOS)             \
  X(ComputerNamePhysicalDnsHostname) \
  X(ComputerNameMax)

// The GUIDs that the SDK headers give as DEFINE_GUID lines.
#define KOA_SDK_GUIDS(X)    \
  X(GUID_DEVINTERFACE_DISK) \
  X(GUID_DEVINTERFACE_STORAGEPORT)

// The property keys that devpkey.h gives as DEFINE_DEVPROPKEY lines.
#define KOA_SDK_DEVPROPKEYS(X)  \
  X(DEVPKEY_Device_Parent)     \
  X(DEVPKEY_Device_InstanceId) \
  X(DEVPKEY_Device_DriverDesc) \
  X(DEVPKEY_Device_LocationInfo)

namespace koa_sdk_check {
#define KOA_COPY_OURS(name) constexpr auto kOurs_##name = koa::name;
KOA_SDK_INTEGER_CONSTANTS(KOA_COPY_OURS)
KOA_SDK_GUIDS(KOA_COPY_OURS)
KOA_SDK_DEVPROPKEYS(KOA_COPY_OURS)
#undef KOA_COPY_OURS
}  // namespace koa_sdk_check

#include <windows.h>
// windows.h first: the headers below rely on its types.
#include <devpropdef.h>
#include <ntddscsi.h>
#include <setupapi.h>
#include <winioctl.h>

namespace koa_sdk_check {

// Every one of these is a 32-bit value on Windows; the SDK spells some as
// long, some as unsigned long.
#define KOA_AGREES_WITH_SDK(name)                                   \
  static_assert(kOurs_##name == static_cast<std::uint32_t>(name), \
                #name " differs from the Windows SDK");
KOA_SDK_INTEGER_CONSTANTS(KOA_AGREES_WITH_SDK)
#undef KOA_AGREES_WITH_SDK

static_assert(koa::kTokenElevationLength == sizeof(TOKEN_ELEVATION));
static_assert(koa::kUserObjectFlagsLength == sizeof(USEROBJECTFLAGS));
static_assert(koa::kUserObjectFlagsDwFlagsOffset == offsetof(USEROBJECTFLAGS, dwFlags));

static_assert(koa::kSecurityDescriptorLength == sizeof(SECURITY_DESCRIPTOR_RELATIVE));
static_assert(koa::kSecurityDescriptorControlOffset == offsetof(SECURITY_DESCRIPTOR_RELATIVE, Control));
static_assert(koa::kSecurityDescriptorOwnerOffset == offsetof(SECURITY_DESCRIPTOR_RELATIVE, Owner));
static_assert(koa::kSecurityDescriptorDaclOffset == offsetof(SECURITY_DESCRIPTOR_RELATIVE, Dacl));
static_assert(koa::kAclLength == sizeof(ACL));
static_assert(koa::kAccessAllowedAceSidOffset == offsetof(ACCESS_ALLOWED_ACE, SidStart));
static_assert(koa::kSidSubAuthorityOffset == offsetof(SID, SubAuthority));
static_assert(koa::kSidMaxLength == SECURITY_MAX_SID_SIZE);
static_assert(koa::kSecurityNtAuthority == SID_IDENTIFIER_AUTHORITY SECURITY_NT_AUTHORITY.Value[5]);

// winioctl.h states its GUIDs as DEFINE_GUID lines, outside its include
// guard and only while DEFINE_GUID is defined. Reading it once more with
// DEFINE_GUID turned into a constexpr definition gives the SDK's values in a
// form a static_assert can compare (the SDK's own GUID objects are not
// constant expressions).
#pragma push_macro("DEFINE_GUID")
#pragma push_macro("DEFINE_DEVPROPKEY")
#undef DEFINE_GUID
#undef DEFINE_DEVPROPKEY
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  constexpr koa::Guid kSdk_##name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}};
#include <winioctl.h>
#pragma pop_macro("DEFINE_DEVPROPKEY")
#pragma pop_macro("DEFINE_GUID")

#define KOA_GUID_AGREES_WITH_SDK(name) \
  static_assert(kOurs_##name == kSdk_##name, #name " differs from the Windows SDK");
KOA_SDK_GUIDS(KOA_GUID_AGREES_WITH_SDK)
#undef KOA_GUID_AGREES_WITH_SDK

// devpkey.h cannot be read the same way: it includes devpropdef.h, which
// defines DEFINE_DEVPROPKEY afresh every time. With INITGUID that definition
// is "EXTERN_C const DEVPROPKEY DECLSPEC_SELECTANY name = {...}"; emptying
// EXTERN_C and turning DECLSPEC_SELECTANY into constexpr, for this one read,
// makes each key a constant of this namespace.
#pragma push_macro("INITGUID")
#pragma push_macro("EXTERN_C")
#pragma push_macro("DECLSPEC_SELECTANY")
#undef EXTERN_C
#undef DECLSPEC_SELECTANY
#define INITGUID
#define EXTERN_C
#define DECLSPEC_SELECTANY constexpr
#include <devpkey.h>
#pragma pop_macro("DECLSPEC_SELECTANY")
#pragma pop_macro("EXTERN_C")
#pragma pop_macro("INITGUID")

constexpr bool sameKey(const koa::DevPropKey& ours, const DEVPROPKEY& sdk) {
  const koa::Guid sdkGuid = {sdk.fmtid.Data1, sdk.fmtid.Data2, sdk.fmtid.Data3,
                             {sdk.fmtid.Data4[0], sdk.fmtid.Data4[1], sdk.fmtid.Data4[2],
                              sdk.fmtid.Data4[3], sdk.fmtid.Data4[4], sdk.fmtid.Data4[5],
                              sdk.fmtid.Data4[6], sdk.fmtid.Data4[7]}};
  return ours.fmtid == sdkGuid && ours.pid == sdk.pid;
}

#define KOA_KEY_AGREES_WITH_SDK(name) \
  static_assert(sameKey(kOurs_##name, name), #name " differs from the Windows SDK");
KOA_SDK_DEVPROPKEYS(KOA_KEY_AGREES_WITH_SDK)
#undef KOA_KEY_AGREES_WITH_SDK

}  // namespace koa_sdk_check
