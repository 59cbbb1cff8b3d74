#include "report/log_path.h"

#include <optional>
#include <vector>

#include "platform/platform.h"

namespace koa {
namespace {

constexpr std::uint32_t kFirstBufferLength = 260;  // MAX_PATH
constexpr std::uint32_t kLongestText = 32768;      // the longest path Windows has
constexpr int kMostRedirections = 8;               // a SUBST of a SUBST of ...

// A text from a call that answers with its length, or with the size it
// needs when the buffer is too small; nothing when it fails.
template <typename Call>
std::optional<std::u16string> grownText(Call call) {
  std::vector<char16_t> buffer(kFirstBufferLength);
  while (buffer.size() <= kLongestText) {
    const std::uint32_t length = call(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    if (length == 0) return std::nullopt;
    if (length < buffer.size()) return std::u16string(buffer.data(), length);
    buffer.resize(length);
  }
  return std::nullopt;
}

bool startsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// "\\?\UNC\server\share\x" as "\\server\share\x", "\\?\C:\x" as "C:\x".
std::u16string withoutLongPrefix(std::u16string_view path) {
  if (startsWith(path, u"\\\\?\\UNC\\")) return u"\\\\" + std::u16string(path.substr(8));
  if (startsWith(path, u"\\\\?\\")) return std::u16string(path.substr(4));
  return std::u16string(path);
}

char16_t upper(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  // Latin-1, Greek and Cyrillic small letters, as Windows' upcase table has them.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

bool sameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

bool isDriveRoot(std::u16string_view path) {
  return path.size() >= 2 && path[1] == u':' && upper(path[0]) >= u'A' && upper(path[0]) <= u'Z' &&
         (path.size() == 2 || path[2] == u'\\');
}

// The first target of a drive letter ("Z:"), nothing when it has none.
std::optional<std::u16string> dosDeviceOf(std::u16string_view drive) {
  const std::u16string name(drive);
  std::vector<char16_t> buffer(kFirstBufferLength);
  while (buffer.size() <= kLongestText) {
    if (currentPlatform().QueryDosDeviceW(name.c_str(), buffer.data(), static_cast<std::uint32_t>(buffer.size())) != 0)
      return std::u16string(buffer.data());
    if (currentPlatform().GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
  return std::nullopt;
}

// The path with its drive letter replaced, as long as it is a SUBST drive
// ("\??\C:\dir", "\??\UNC\server\share") or a mapped network drive (the
// redirector's "\Device\...\;Z:<logon session>\server\share").
std::u16string withDrivesResolved(std::u16string path) {
  for (int round = 0; round < kMostRedirections && isDriveRoot(path); ++round) {
    const auto target = dosDeviceOf(path.substr(0, 2));
    if (!target) break;
    if (startsWith(*target, u"\\??\\")) {
      const std::u16string substituted = withoutLongPrefix(u"\\\\?\\" + target->substr(4));
      if (!isDriveRoot(substituted) && !startsWith(substituted, u"\\\\")) break;  // not a SUBST
      std::u16string rest = path.substr(2);
      if (substituted.back() == u'\\' && !rest.empty() && rest.front() == u'\\') rest.erase(0, 1);
      path = substituted + rest;
      continue;
    }
    const std::u16string session = std::u16string(u"\\;") + upper(path[0]) + u":";
    std::size_t at = std::u16string::npos;
    for (std::size_t i = 0; i + session.size() <= target->size(); ++i)
      if (sameIgnoringCase(std::u16string_view(*target).substr(i, session.size()), session)) at = i;
    if (at == std::u16string::npos) break;  // a local volume
    const std::size_t share = target->find(u'\\', at + session.size());
    if (share == std::u16string::npos) break;
    path = u"\\" + target->substr(share) + path.substr(2);
    break;
  }
  return path;
}

// The share "\\server\share" of a UNC path as the handle of its folder names
// it: the share itself on Windows; under Wine, which keeps a share as a link
// in its prefix, the folder it stands for. The share's folder is the
// server's business, not the log's; links below it still show.
std::u16string withShareResolved(const std::u16string& path) {
  if (!startsWith(path, u"\\\\")) return path;
  const std::size_t server = path.find(u'\\', 2);
  if (server == std::u16string::npos) return path;
  const std::size_t share = path.find(u'\\', server + 1);
  const std::u16string rest = share == std::u16string::npos ? u"" : path.substr(share);
  const std::u16string root = path.substr(0, share) + u"\\";
  Platform& platform = currentPlatform();
  const Handle folder =
      platform.CreateFileW(root.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (folder == kInvalidHandle) return path;
  const auto reached = grownText([&](char16_t* buffer, std::uint32_t size) {
    return platform.GetFinalPathNameByHandleW(folder, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  });
  (void)platform.CloseHandle(folder);
  if (!reached) return path;
  std::u16string resolved = withoutLongPrefix(*reached);
  while (!resolved.empty() && resolved.back() == u'\\') resolved.pop_back();
  return resolved + rest;
}

}  // namespace

bool hasControlCharacter(std::u16string_view path) {
  for (char16_t c : path)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

bool isPlainFileNamedBy(Handle file, const std::u16string& path) {
  Platform& platform = currentPlatform();
  if (platform.GetFileType(file) != FILE_TYPE_DISK) return false;
  ByHandleFileInformation information{};
  if (!platform.GetFileInformationByHandle(file, &information)) return false;
  if ((information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
      information.nNumberOfLinks != 1)
    return false;

  const auto full = grownText([&](char16_t* buffer, std::uint32_t size) {
    return platform.GetFullPathNameW(path.c_str(), size, buffer);
  });
  if (!full) return false;
  const auto longForm = grownText([&](char16_t* buffer, std::uint32_t size) {
    return platform.GetLongPathNameW(full->c_str(), buffer, size);
  });
  const auto reached = grownText([&](char16_t* buffer, std::uint32_t size) {
    return platform.GetFinalPathNameByHandleW(file, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  });
  if (!longForm || !reached) return false;
  return sameIgnoringCase(withShareResolved(withDrivesResolved(withoutLongPrefix(*longForm))),
                          withoutLongPrefix(*reached));
}

}  // namespace koa
