// The security the run lock is made with and the test of who made an
// existing one, in the self-relative layouts Windows publishes
// (SECURITY_DESCRIPTOR_RELATIVE, ACL, ACCESS_ALLOWED_ACE, SID).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace koa {

// Owner BUILTIN\Administrators; a protected DACL that allows MUTEX_ALL_ACCESS
// to LocalSystem and BUILTIN\Administrators and to nobody else, so that no
// standard user can open, wait on or hold the mutex. Windows accepts this
// owner only from a caller whose token may own objects as Administrators (an
// elevated administrator, LocalSystem): anyone else fails to create it.
[[nodiscard]] std::vector<std::uint8_t> runLockSecurityDescriptor();

// The owner SID of a self-relative security descriptor, as its bytes;
// nothing when the descriptor names no owner or does not hold the SID it
// points to.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> descriptorOwner(std::span<const std::uint8_t> descriptor);

// Whether a SID is LocalSystem's or BUILTIN\Administrators': the owners an
// elevated administrator's or the system's run gives the lock.
[[nodiscard]] bool isAdministrativeSid(std::span<const std::uint8_t> sid);

// The SID in the string form Windows shows ("S-1-5-21-...").
[[nodiscard]] std::u16string sidText(std::span<const std::uint8_t> sid);

}  // namespace koa
