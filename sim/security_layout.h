// Security descriptors as the object manager reads and writes them, from
// the published self-relative layouts:
//
//   SECURITY_DESCRIPTOR_RELATIVE  0 Revision (1)  1 Sbz1  2 Control (WORD)
//                                 4 Owner  8 Group  12 Sacl  16 Dacl (offsets, 0: none)
//   ACL                           0 AclRevision (2 or 4)  1 Sbz1  2 AclSize (WORD)
//                                 4 AceCount (WORD)  6 Sbz2, then the ACEs
//   ACE                           0 AceType  1 AceFlags  2 AceSize (WORD)
//                                 4 Mask  8 SID (ACCESS_ALLOWED_ACE, ACCESS_DENIED_ACE)
//   SID                           0 Revision (1)  1 SubAuthorityCount (at most 15)
//                                 2 IdentifierAuthority (6 bytes, big endian)
//                                 8 SubAuthority[] (DWORDs)
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace koa::sim {

using Sid = std::vector<std::uint8_t>;

struct Ace {
  bool allow = true;  // ACCESS_ALLOWED_ACE_TYPE, else ACCESS_DENIED_ACE_TYPE
  std::uint32_t mask = 0;
  Sid sid;
};

struct ObjectSecurity {
  std::optional<Sid> owner;
  bool daclPresent = false;
  // Present with no ACL: a null DACL, which lets everyone in.
  std::optional<std::vector<Ace>> dacl;
};

// The descriptor a caller handed over; nullopt when it breaks the layout
// (the object manager then answers ERROR_INVALID_SECURITY_DESCR).
[[nodiscard]] std::optional<ObjectSecurity> readSecurityDescriptor(std::span<const std::uint8_t> bytes);
// The length the descriptor at `bytes` claims for itself, to trace it: the
// end of its last part. Reads nothing past `limit` bytes.
[[nodiscard]] std::size_t securityDescriptorLength(const std::uint8_t* bytes, std::size_t limit);

// A self-relative descriptor of the owner and, when asked, the DACL.
[[nodiscard]] std::vector<std::uint8_t> writeSecurityDescriptor(const ObjectSecurity& security, bool owner,
                                                                bool dacl);

// S-1-5-<rids>.
[[nodiscard]] Sid ntSid(std::initializer_list<std::uint32_t> rids);
[[nodiscard]] std::string sidString(const Sid& sid);

// The accounts of this machine.
[[nodiscard]] const Sid& localSystemSid();      // S-1-5-18
[[nodiscard]] const Sid& administratorsSid();   // S-1-5-32-544
[[nodiscard]] const Sid& usersSid();            // S-1-5-32-545
[[nodiscard]] const Sid& everyoneSid();         // S-1-1-0
[[nodiscard]] const Sid& processUserSid();      // the account the program runs as
[[nodiscard]] const Sid& otherStandardUserSid(); // another account, without administrator rights

}  // namespace koa::sim
