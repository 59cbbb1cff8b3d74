#include "sim/security_layout.h"

#include <algorithm>

#include "sim/sim_bytes.h"

namespace koa::sim {

namespace {

constexpr std::size_t kHeader = 20;
constexpr std::size_t kControl = 2;
constexpr std::size_t kOwner = 4;
constexpr std::size_t kDacl = 16;
constexpr std::uint16_t kDaclPresent = 0x0004;
constexpr std::uint16_t kSelfRelative = 0x8000;
constexpr std::size_t kAclHeader = 8;
constexpr std::size_t kAceSid = 8;
constexpr std::uint8_t kAllowedType = 0;
constexpr std::uint8_t kDeniedType = 1;
constexpr std::size_t kMaxSubAuthorities = 15;

std::optional<std::size_t> sidLengthAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
  if (offset + 8 > bytes.size() || bytes[offset] != 1 || bytes[offset + 1] > kMaxSubAuthorities) return std::nullopt;
  const std::size_t length = 8 + 4 * std::size_t{bytes[offset + 1]};
  if (offset + length > bytes.size()) return std::nullopt;
  return length;
}

std::optional<std::vector<Ace>> readAcl(std::span<const std::uint8_t> bytes, std::size_t offset) {
  if (offset + kAclHeader > bytes.size()) return std::nullopt;
  const std::uint8_t revision = bytes[offset];
  const std::size_t size = le16(bytes, offset + 2);
  const std::size_t count = le16(bytes, offset + 4);
  if ((revision != 2 && revision != 4) || size < kAclHeader || offset + size > bytes.size()) return std::nullopt;
  const auto acl = bytes.subspan(offset, size);
  std::vector<Ace> aces;
  std::size_t at = kAclHeader;
  for (std::size_t i = 0; i < count; ++i) {
    if (at + kAceSid > acl.size()) return std::nullopt;
    const std::uint8_t type = acl[at];
    const std::size_t aceSize = le16(acl, at + 2);
    if (aceSize < kAceSid || at + aceSize > acl.size() || aceSize % 4 != 0) return std::nullopt;
    if (type != kAllowedType && type != kDeniedType) return std::nullopt;  // no other kind is modelled
    const auto sidLength = sidLengthAt(acl.subspan(0, at + aceSize), at + kAceSid);
    if (!sidLength) return std::nullopt;
    const auto sid = acl.subspan(at + kAceSid, *sidLength);
    aces.push_back({type == kAllowedType, le32(acl, at + 4), Sid(sid.begin(), sid.end())});
    at += aceSize;
  }
  return aces;
}

// Grown first, then copied: GCC 12 misreads an insert at the end of a
// 20-byte vector as a write out of its bounds.
void appendSid(std::vector<std::uint8_t>& out, const Sid& sid) {
  const std::size_t at = out.size();
  out.resize(at + sid.size());
  std::copy(sid.begin(), sid.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

std::optional<ObjectSecurity> readSecurityDescriptor(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kHeader || bytes[0] != 1) return std::nullopt;
  const std::uint16_t control = le16(bytes, kControl);
  if ((control & kSelfRelative) == 0) return std::nullopt;
  ObjectSecurity security;
  if (const std::uint32_t owner = le32(bytes, kOwner); owner != 0) {
    const auto length = sidLengthAt(bytes, owner);
    if (!length) return std::nullopt;
    security.owner = Sid(bytes.begin() + owner, bytes.begin() + owner + static_cast<std::ptrdiff_t>(*length));
  }
  security.daclPresent = (control & kDaclPresent) != 0;
  if (security.daclPresent) {
    if (const std::uint32_t dacl = le32(bytes, kDacl); dacl != 0) {
      security.dacl = readAcl(bytes, dacl);
      if (!security.dacl) return std::nullopt;
    }
  }
  return security;
}

std::size_t securityDescriptorLength(const std::uint8_t* bytes, std::size_t limit) {
  if (bytes == nullptr || limit < kHeader) return 0;
  const std::span<const std::uint8_t> all(bytes, limit);
  std::size_t end = kHeader;
  if (const std::uint32_t owner = le32(all, kOwner); owner != 0)
    if (const auto length = sidLengthAt(all, owner)) end = std::max<std::size_t>(end, owner + *length);
  if (const std::uint32_t dacl = le32(all, kDacl); dacl != 0 && dacl + kAclHeader <= limit)
    end = std::max<std::size_t>(end, std::min<std::size_t>(limit, dacl + le16(all, dacl + 2)));
  return end;
}

std::vector<std::uint8_t> writeSecurityDescriptor(const ObjectSecurity& security, bool owner, bool dacl) {
  std::vector<std::uint8_t> out(kHeader, 0);
  out[0] = 1;
  std::uint16_t control = kSelfRelative;
  if (owner && security.owner) {
    setLe32(out, kOwner, static_cast<std::uint32_t>(out.size()));
    appendSid(out, *security.owner);
  }
  if (dacl && security.daclPresent) {
    control |= kDaclPresent;
    if (security.dacl) {
      const std::size_t at = out.size();
      setLe32(out, kDacl, static_cast<std::uint32_t>(at));
      out.resize(at + kAclHeader, 0);
      out[at] = 2;
      for (const Ace& ace : *security.dacl) {
        const std::size_t aceAt = out.size();
        out.resize(aceAt + kAceSid, 0);
        out[aceAt] = ace.allow ? kAllowedType : kDeniedType;
        setLe16(out, aceAt + 2, static_cast<std::uint16_t>(kAceSid + ace.sid.size()));
        setLe32(out, aceAt + 4, ace.mask);
        appendSid(out, ace.sid);
      }
      setLe16(out, at + 2, static_cast<std::uint16_t>(out.size() - at));
      setLe16(out, at + 4, static_cast<std::uint16_t>(security.dacl->size()));
    }
  }
  setLe16(out, kControl, control);
  return out;
}

Sid ntSid(std::initializer_list<std::uint32_t> rids) {
  Sid sid(8 + 4 * rids.size(), 0);
  sid[0] = 1;
  sid[1] = static_cast<std::uint8_t>(rids.size());
  sid[7] = 5;  // SECURITY_NT_AUTHORITY
  std::size_t at = 8;
  for (const std::uint32_t rid : rids) {
    setLe32(sid, at, rid);
    at += 4;
  }
  return sid;
}

std::string sidString(const Sid& sid) {
  if (sid.size() < 8) return "S-?";
  std::uint64_t authority = 0;
  for (std::size_t i = 2; i < 8; ++i) authority = (authority << 8) | sid[i];
  std::string text = "S-";
  text.append(std::to_string(sid[0])).append("-").append(std::to_string(authority));
  for (std::size_t at = 8; at + 4 <= sid.size(); at += 4) text.append("-").append(std::to_string(le32(sid, at)));
  return text;
}

const Sid& localSystemSid() {
  static const Sid sid = ntSid({18});
  return sid;
}
const Sid& administratorsSid() {
  static const Sid sid = ntSid({32, 544});
  return sid;
}
const Sid& usersSid() {
  static const Sid sid = ntSid({32, 545});
  return sid;
}
const Sid& everyoneSid() {
  static const Sid sid = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
  return sid;
}
const Sid& processUserSid() {
  static const Sid sid = ntSid({21, 1111111111, 2222222222, 3333333333, 1001});
  return sid;
}
const Sid& otherStandardUserSid() {
  static const Sid sid = ntSid({21, 1111111111, 2222222222, 3333333333, 1002});
  return sid;
}

}  // namespace koa::sim
