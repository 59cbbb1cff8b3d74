// The process's token and window station on the simulated machine: what a
// program asks to learn whether it may open drives and whether anyone sees
// its message box.
#include "sim/machine.h"
#include "sim/sim_bytes.h"

namespace koa::sim {

namespace {

// TOKEN_ELEVATION (winnt.h): one DWORD, TokenIsElevated.
constexpr std::uint32_t kTokenElevationSize = 4;
// USEROBJECTFLAGS (winuser.h): BOOL fInherit, BOOL fReserved, DWORD dwFlags.
constexpr std::uint32_t kUserObjectFlagsSize = 12;
constexpr std::size_t kUserObjectFlagsDwFlags = 8;
// The process's window station: a handle the process never closes.
constexpr Handle kWindowStation = 0x1F0;

}  // namespace

bool Machine::OpenProcessToken(std::uint32_t desiredAccess, Handle* tokenHandle) {
  if (tokenHandle == nullptr) return fail(kErrorNoAccess);
  const Handle token = nextToken_;
  nextToken_ += 4;
  tokens_.emplace(token, desiredAccess);
  *tokenHandle = token;
  return true;
}

// Only TokenElevation is modelled: any other class is refused as one this
// machine cannot answer, so that a program asking for more is noticed.
bool Machine::GetTokenInformation(Handle token, std::uint32_t tokenInformationClass, void* tokenInformation,
                                  std::uint32_t tokenInformationLength, std::uint32_t* returnLength) {
  auto it = tokens_.find(token);
  if (it == tokens_.end()) return fail(ERROR_INVALID_HANDLE);
  if ((it->second & TOKEN_QUERY) == 0) return fail(ERROR_ACCESS_DENIED);
  if (tokenInformationClass != TokenElevation) return fail(ERROR_INVALID_PARAMETER);
  if (returnLength == nullptr || (tokenInformation == nullptr && tokenInformationLength != 0))
    return fail(kErrorNoAccess);
  *returnLength = kTokenElevationSize;
  if (tokenInformationLength < kTokenElevationSize) return fail(ERROR_INSUFFICIENT_BUFFER);
  setLe32({static_cast<std::uint8_t*>(tokenInformation), kTokenElevationSize}, 0, machine_.elevated ? 1 : 0);
  return true;
}

Handle Machine::GetProcessWindowStation() { return kWindowStation; }

bool Machine::GetUserObjectInformationW(Handle object, int index, void* info, std::uint32_t length,
                                        std::uint32_t* lengthNeeded) {
  if (object != kWindowStation) return fail(ERROR_INVALID_HANDLE);
  if (index != UOI_FLAGS) return fail(ERROR_INVALID_PARAMETER);
  if (info == nullptr && length != 0) return fail(kErrorNoAccess);
  if (lengthNeeded != nullptr) *lengthNeeded = kUserObjectFlagsSize;
  if (length < kUserObjectFlagsSize) return fail(ERROR_INSUFFICIENT_BUFFER);
  const std::span<std::uint8_t> flags(static_cast<std::uint8_t*>(info), kUserObjectFlagsSize);
  setLe32(flags, 0, 0);
  setLe32(flags, 4, 0);
  setLe32(flags, kUserObjectFlagsDwFlags, machine_.windowStationVisible ? WSF_VISIBLE : 0);
  return true;
}

}  // namespace koa::sim
