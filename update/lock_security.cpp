#include "update/lock_security.h"

#include <algorithm>

#include "platform/win_types.h"
#include "wire/byte_order.h"

namespace koa {
namespace {

constexpr std::size_t kSidIdentifierAuthorityOffset = 2;
constexpr std::size_t kSidIdentifierAuthorityLength = 6;
constexpr std::size_t kAceSizeOffset = 2;
constexpr std::size_t kAceMaskOffset = 4;
constexpr std::size_t kAclSizeOffset = 2;
constexpr std::size_t kAclAceCountOffset = 4;

// S-1-5-<rids...>: the SIDs of the NT authority.
std::vector<std::uint8_t> ntAuthoritySid(std::initializer_list<std::uint32_t> rids) {
  std::vector<std::uint8_t> sid(kSidSubAuthorityOffset + 4 * rids.size(), 0);
  put8(sid.data(), 0, static_cast<std::uint8_t>(SID_REVISION));
  put8(sid.data(), 1, static_cast<std::uint8_t>(rids.size()));
  put8(sid.data(), kSidIdentifierAuthorityOffset + kSidIdentifierAuthorityLength - 1, kSecurityNtAuthority);
  std::size_t offset = kSidSubAuthorityOffset;
  for (const std::uint32_t rid : rids) {
    put32(sid.data(), offset, rid);
    offset += 4;
  }
  return sid;
}

const std::vector<std::uint8_t>& localSystemSid() {
  static const std::vector<std::uint8_t> sid = ntAuthoritySid({SECURITY_LOCAL_SYSTEM_RID});
  return sid;
}

const std::vector<std::uint8_t>& administratorsSid() {
  static const std::vector<std::uint8_t> sid = ntAuthoritySid({SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS});
  return sid;
}

void appendAllowedAce(std::vector<std::uint8_t>& out, std::uint32_t mask, const std::vector<std::uint8_t>& sid) {
  const std::size_t at = out.size();
  out.resize(at + kAccessAllowedAceSidOffset + sid.size(), 0);
  put8(out.data(), at, static_cast<std::uint8_t>(ACCESS_ALLOWED_ACE_TYPE));
  put16(out.data(), at + kAceSizeOffset, static_cast<std::uint16_t>(kAccessAllowedAceSidOffset + sid.size()));
  put32(out.data(), at + kAceMaskOffset, mask);
  putBytes(out.data(), at + kAccessAllowedAceSidOffset, sid.data(), sid.size());
}

// A SID's length from its header, when the bytes hold that much.
std::optional<std::size_t> sidLength(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kSidSubAuthorityOffset) return std::nullopt;
  const std::size_t length = kSidSubAuthorityOffset + 4 * std::size_t{bytes[1]};
  if (bytes[0] != SID_REVISION || length > bytes.size() || length > kSidMaxLength) return std::nullopt;
  return length;
}

}  // namespace

std::vector<std::uint8_t> runLockSecurityDescriptor() {
  std::vector<std::uint8_t> acl(kAclLength, 0);
  appendAllowedAce(acl, MUTEX_ALL_ACCESS, localSystemSid());
  appendAllowedAce(acl, MUTEX_ALL_ACCESS, administratorsSid());
  put8(acl.data(), 0, static_cast<std::uint8_t>(ACL_REVISION));
  put16(acl.data(), kAclSizeOffset, static_cast<std::uint16_t>(acl.size()));
  put16(acl.data(), kAclAceCountOffset, 2);

  // Header, owner, DACL.
  const std::vector<std::uint8_t>& owner = administratorsSid();
  const std::size_t ownerAt = kSecurityDescriptorLength;
  const std::size_t daclAt = ownerAt + owner.size();
  std::vector<std::uint8_t> descriptor(daclAt + acl.size(), 0);
  put8(descriptor.data(), 0, static_cast<std::uint8_t>(SECURITY_DESCRIPTOR_REVISION));
  put16(descriptor.data(), kSecurityDescriptorControlOffset,
        static_cast<std::uint16_t>(SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_DACL_PROTECTED));
  put32(descriptor.data(), kSecurityDescriptorOwnerOffset, static_cast<std::uint32_t>(ownerAt));
  put32(descriptor.data(), kSecurityDescriptorDaclOffset, static_cast<std::uint32_t>(daclAt));
  putBytes(descriptor.data(), ownerAt, owner.data(), owner.size());
  putBytes(descriptor.data(), daclAt, acl.data(), acl.size());
  return descriptor;
}

std::optional<std::vector<std::uint8_t>> descriptorOwner(std::span<const std::uint8_t> descriptor) {
  if (descriptor.size() < kSecurityDescriptorLength) return std::nullopt;
  if ((get16(descriptor.data(), kSecurityDescriptorControlOffset) & SE_SELF_RELATIVE) == 0) return std::nullopt;
  const std::uint32_t offset = get32(descriptor.data(), kSecurityDescriptorOwnerOffset);
  if (offset == 0 || offset >= descriptor.size()) return std::nullopt;
  const auto rest = descriptor.subspan(offset);
  const auto length = sidLength(rest);
  if (!length) return std::nullopt;
  return std::vector<std::uint8_t>(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(*length));
}

bool isAdministrativeSid(std::span<const std::uint8_t> sid) {
  const auto same = [sid](const std::vector<std::uint8_t>& known) {
    return sid.size() == known.size() && std::equal(sid.begin(), sid.end(), known.begin());
  };
  return same(localSystemSid()) || same(administratorsSid());
}

std::u16string sidText(std::span<const std::uint8_t> sid) {
  const auto length = sidLength(sid);
  if (!length) return u"S-?";
  std::uint64_t authority = 0;
  for (std::size_t i = 0; i < kSidIdentifierAuthorityLength; ++i)
    authority = (authority << 8) | sid[kSidIdentifierAuthorityOffset + i];
  // Appended piece by piece: GCC 12 misreads a chain of string additions as
  // an overlapping copy.
  std::string text = "S-";
  text.append(std::to_string(sid[0]));
  text.push_back('-');
  if (authority >> 32 == 0) {
    text.append(std::to_string(authority));
  } else {
    // Windows writes an authority of more than 32 bits in hexadecimal.
    static constexpr char kDigits[] = "0123456789ABCDEF";
    text.append("0x");
    for (int shift = 44; shift >= 0; shift -= 4) text.push_back(kDigits[(authority >> shift) & 0xF]);
  }
  for (std::size_t offset = kSidSubAuthorityOffset; offset < *length; offset += 4) {
    text.push_back('-');
    text.append(std::to_string(get32(sid.data(), offset)));
  }
  return std::u16string(text.begin(), text.end());
}

}  // namespace koa
