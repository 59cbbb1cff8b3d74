// The simulated machine's files: Windows path rules over host directories.
#include "sim/file_system.h"

#include <algorithm>
#include <system_error>

namespace koa::sim {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kNoError = 0;
constexpr std::size_t kMostRedirections = 8;  // SUBST of a SUBST of ...

// Windows compares names through its upcase table; these are the letters
// of the scripts the tests name (Latin-1, Greek, Cyrillic).
char16_t upper(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

std::u16string upperText(std::u16string_view text) {
  std::u16string result(text);
  for (char16_t& c : result) c = upper(c);
  return result;
}

bool sameName(std::u16string_view a, std::u16string_view b) { return upperText(a) == upperText(b); }

bool startsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && sameName(text.substr(0, prefix.size()), prefix);
}

template <typename Map>
auto findName(Map& map, std::u16string_view key) {
  return std::find_if(map.begin(), map.end(), [key](const auto& entry) { return sameName(entry.first, key); });
}

std::vector<std::u16string> split(std::u16string_view path) {
  std::vector<std::u16string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find(u'\\', start), path.size());
    parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool isDriveLetter(std::u16string_view path) {
  return path.size() >= 2 && path[1] == u':' && upper(path[0]) >= u'A' && upper(path[0]) <= u'Z';
}

// "NUL", "con.txt", "C:\dir\aux": the DOS devices every folder holds.
std::optional<std::u16string> reservedDevice(std::u16string_view lastComponent) {
  std::u16string base(lastComponent.substr(0, lastComponent.find(u'.')));
  while (!base.empty() && base.back() == u' ') base.pop_back();
  base = upperText(base);
  for (const char16_t* name : {u"NUL", u"CON", u"AUX", u"PRN"})
    if (base == name) return base;
  return std::nullopt;
}

// A name that already fits 8.3 has no short name of its own.
bool isShortForm(std::u16string_view name) {
  const std::size_t dot = name.find(u'.');
  const std::u16string_view base = name.substr(0, dot);
  const std::u16string_view extension = dot == std::u16string_view::npos ? u"" : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || extension.size() > 3 || extension.find(u'.') != std::u16string_view::npos)
    return false;
  for (char16_t c : name)
    if (c <= 0x20 || c >= 0x7F || std::u16string_view(u"\"*+,/:;<=>?[\\]|").find(c) != std::u16string_view::npos)
      return false;
  return true;
}

// The first six usable characters, "~", a number, and the extension's
// first three: the form NTFS gives a long name.
std::u16string shortStem(std::u16string_view name) {
  const std::size_t dot = name.rfind(u'.');
  const auto clean = [](std::u16string_view part, std::size_t most) {
    std::u16string kept;
    for (char16_t c : part) {
      if (kept.size() == most) break;
      if (c == u' ' || c == u'.') continue;
      const bool usable = c > 0x20 && c < 0x7F && std::u16string_view(u"\"*+,/:;<=>?[\\]|").find(c) ==
                                                       std::u16string_view::npos;
      kept.push_back(usable ? upper(c) : u'_');
    }
    return kept;
  };
  const std::u16string base = clean(name.substr(0, dot), 6);
  const std::u16string extension = dot == std::u16string_view::npos ? u"" : clean(name.substr(dot + 1), 3);
  return base + u"~" + (extension.empty() ? u"" : u"." + extension);
}

std::u16string numberText(std::size_t n) {
  std::u16string text;
  do {
    text.insert(text.begin(), static_cast<char16_t>(u'0' + n % 10));
    n /= 10;
  } while (n != 0);
  return text;
}

// The entry of `directory` that `component` names, by its long or its short
// name; empty when there is none.
std::u16string entryNamed(const fs::path& directory, std::u16string_view component, std::error_code& error) {
  std::vector<std::u16string> names;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error))
    names.push_back(it->path().filename().u16string());
  if (error) return {};
  for (const auto& name : names)
    if (sameName(name, component)) return name;
  if (component.find(u'~') == std::u16string_view::npos) return {};
  std::sort(names.begin(), names.end());
  std::map<std::u16string, std::size_t> taken;  // by stem
  for (const auto& name : names) {
    if (isShortForm(name)) continue;
    const std::u16string stem = shortStem(name);
    const std::size_t tilde = stem.find(u'~');
    const std::u16string shortName = stem.substr(0, tilde + 1) + numberText(++taken[stem]) + stem.substr(tilde + 1);
    if (sameName(shortName, component)) return name;
  }
  return {};
}

// "." and ".." folded away, trailing dots and blanks dropped, as Windows
// reads a path before it opens anything.
std::u16string folded(const std::u16string& root, std::u16string_view rest) {
  std::vector<std::u16string> kept;
  for (std::u16string part : split(rest)) {
    if (part.empty() || part == u".") continue;
    if (part == u"..") {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    while (!part.empty() && (part.back() == u'.' || part.back() == u' ')) part.pop_back();
    if (!part.empty()) kept.push_back(part);
  }
  std::u16string path = root;
  for (const auto& part : kept) path += u"\\" + part;
  return kept.empty() ? path + u"\\" : path;
}

// The root of a full Windows path ("C:" or "\\server\share") and the rest.
std::pair<std::u16string, std::u16string> rootOf(const std::u16string& full) {
  if (isDriveLetter(full)) return {full.substr(0, 2), full.size() > 3 ? full.substr(3) : u""};
  const std::size_t server = full.find(u'\\', 2);
  const std::size_t share = server == std::u16string::npos ? server : full.find(u'\\', server + 1);
  if (share == std::u16string::npos) return {full, u""};
  return {full.substr(0, share), full.substr(share + 1)};
}

bool under(const fs::path& path, const fs::path& root, std::size_t& depth) {
  depth = 0;
  auto p = path.begin();
  for (auto r = root.begin(); r != root.end(); ++r, ++p) {
    if (r->empty()) continue;  // a trailing separator
    if (p == path.end() || *p != *r) return false;
    ++depth;
  }
  return true;
}

}  // namespace

bool FileSystem::claims(std::u16string_view path) {
  if (!startsWith(path, u"\\\\.\\") && !startsWith(path, u"\\\\?\\")) return true;
  const std::u16string_view rest = path.substr(4);
  return isDriveLetter(rest) || startsWith(rest, u"UNC\\") || startsWith(rest, u"pipe\\") ||
         (reservedDevice(rest) && rest.find(u'\\') == std::u16string_view::npos && rest.find(u'.') == std::u16string_view::npos);
}

FileSystem::FileSystem(FileSystemDescription description) : description_(std::move(description)) {}

FileSystem::~FileSystem() {
  for (auto& [handle, file] : files_)
    if (file.stream != nullptr) std::fclose(file.stream);
}

bool FileSystem::isWindowsForm(std::u16string_view path) const {
  if (!description_.present || path.empty() || path.front() == u'/') return false;
  // A relative path is the host's unless the machine names a current
  // directory of its own.
  const bool rooted = path.front() == u'\\' || isDriveLetter(path);
  return rooted || !description_.currentDirectory.empty();
}

std::optional<std::u16string> FileSystem::fullPath(std::u16string_view fileName, std::uint32_t& error) const {
  error = kNoError;
  if (fileName.empty()) {
    error = ERROR_INVALID_NAME;
    return std::nullopt;
  }
  if (!isWindowsForm(fileName)) {
    std::error_code failed;
    const fs::path absolute = fs::absolute(fs::path(std::u16string(fileName)), failed);
    if (failed) {
      error = ERROR_INVALID_NAME;
      return std::nullopt;
    }
    return absolute.lexically_normal().u16string();
  }
  std::u16string path(fileName);
  std::replace(path.begin(), path.end(), u'/', u'\\');
  if (startsWith(path, u"\\\\?\\")) return path;
  if (startsWith(path, u"\\\\.\\")) return folded(u"\\\\.", path.substr(4));
  if (!path.empty())
    if (auto device = reservedDevice(split(path).back())) return u"\\\\.\\" + *device;
  if (startsWith(path, u"\\\\")) {
    const auto [root, rest] = rootOf(path);
    return folded(root, rest);
  }
  if (isDriveLetter(path)) return folded(path.substr(0, 2), path.substr(2));
  const std::u16string& current = description_.currentDirectory;
  if (path.front() == u'\\') return folded(rootOf(current).first, path);
  return fullPath(current + u"\\" + path, error);
}

FileSystem::Located FileSystem::locate(const std::u16string& given) const {
  Located located;
  std::u16string full = given;
  if (startsWith(full, u"\\\\?\\UNC\\")) full = u"\\\\" + full.substr(8);
  else if (startsWith(full, u"\\\\?\\")) full = full.substr(4);

  if (startsWith(full, u"\\\\.\\")) {
    const std::u16string name = full.substr(4);
    if (reservedDevice(name) && name.find(u'\\') == std::u16string::npos) {
      located.kind = Kind::CharDevice;
    } else if (startsWith(name, u"pipe\\") &&
               std::any_of(description_.pipes.begin(), description_.pipes.end(),
                           [&](const std::u16string& pipe) { return sameName(pipe, name.substr(5)); })) {
      located.kind = Kind::Pipe;
    } else {
      located.error = ERROR_FILE_NOT_FOUND;
    }
    return located;
  }
  if (!isWindowsForm(full)) {
    located.host = fs::path(full);
    located.longForm = given;
    return located;
  }

  // The root's redirections (SUBST, mapped drives) down to a volume or a
  // share, with the folders they add in front of the path's own.
  auto [root, rest] = rootOf(full);
  std::vector<std::u16string> leading;
  fs::path hostRoot;
  for (std::size_t round = 0; hostRoot.empty(); ++round) {
    if (round == kMostRedirections) {
      located.error = ERROR_PATH_NOT_FOUND;
      return located;
    }
    if (auto it = findName(description_.subst, root); it != description_.subst.end()) {
      auto [targetRoot, targetRest] = rootOf(folded(rootOf(it->second).first, rootOf(it->second).second));
      std::vector<std::u16string> parts;
      for (auto& part : split(targetRest))
        if (!part.empty()) parts.push_back(part);
      leading.insert(leading.begin(), parts.begin(), parts.end());
      root = targetRoot;
    } else if (auto mapped = findName(description_.mapped, root); mapped != description_.mapped.end()) {
      root = mapped->second;
    } else if (auto volume = findName(description_.volumes, root); volume != description_.volumes.end()) {
      hostRoot = volume->second;
    } else if (auto share = findName(description_.shares, root); share != description_.shares.end()) {
      hostRoot = share->second;
      located.throughShare = true;
    } else {
      located.error = ERROR_PATH_NOT_FOUND;
      return located;
    }
  }

  std::vector<std::u16string> own;
  for (auto& part : split(rest))
    if (!part.empty()) own.push_back(part);
  const std::u16string givenRoot = rootOf(full).first;
  if (startsWith(given, u"\\\\?\\UNC\\")) located.longForm = u"\\\\?\\UNC" + givenRoot.substr(1);
  else if (startsWith(given, u"\\\\?\\")) located.longForm = u"\\\\?\\" + givenRoot;
  else located.longForm = givenRoot;
  fs::path directory = hostRoot;
  const std::size_t count = leading.size() + own.size();
  for (std::size_t i = 0; i < count; ++i) {
    const bool isOwn = i >= leading.size();
    const std::u16string& component = isOwn ? own[i - leading.size()] : leading[i];
    std::error_code failed;
    std::u16string name = entryNamed(directory, component, failed);
    if (failed) {
      located.error = ERROR_PATH_NOT_FOUND;
      return located;
    }
    if (name.empty()) {
      if (i + 1 != count) {
        located.error = ERROR_PATH_NOT_FOUND;
        return located;
      }
      name = component;
    }
    // A name found by its short name comes back long; one found as given
    // keeps the case it was given in.
    if (isOwn) located.longForm += u"\\" + (sameName(name, component) ? component : name);
    directory /= fs::path(name);
  }
  if (count == 0) located.longForm += u"\\";
  located.host = directory;
  return located;
}

bool FileSystem::open(Handle handle, std::u16string_view fileName, std::uint32_t creationDisposition,
                      std::uint32_t flagsAndAttributes, std::uint32_t& error) {
  error = kNoError;
  for (char16_t c : fileName)
    if (c < 0x20 || std::u16string_view(u"\"<>|").find(c) != std::u16string_view::npos) {
      error = ERROR_INVALID_NAME;
      return false;
    }
  if (creationDisposition != OPEN_EXISTING && creationDisposition != OPEN_ALWAYS) {
    error = ERROR_INVALID_PARAMETER;  // the simulator knows the two the system uses
    return false;
  }
  const auto full = fullPath(fileName, error);
  if (!full) return false;
  const Located located = locate(*full);
  if (located.error != kNoError) {
    error = located.error;
    return false;
  }
  OpenFile file{located.kind, located.host, located.throughShare, nullptr, 0};
  const bool openAlways = creationDisposition == OPEN_ALWAYS;
  if (located.kind == Kind::File) {
    std::error_code failed;
    const fs::file_status link = fs::symlink_status(located.host, failed);
    const fs::file_status target = fs::status(located.host, failed);
    if (fs::is_symlink(link) && (flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) != 0) {
      file.kind = Kind::Link;
    } else if (fs::exists(target)) {
      if (fs::is_directory(target)) {
        // A folder opens only with FILE_FLAG_BACKUP_SEMANTICS.
        if ((flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) == 0) {
          error = ERROR_ACCESS_DENIED;
          return false;
        }
        file.kind = Kind::Directory;
      } else if (fs::is_character_file(target)) file.kind = Kind::CharDevice;
      else if (fs::is_fifo(target) || fs::is_socket(target)) file.kind = Kind::Pipe;
      else if (!fs::is_regular_file(target)) {
        error = ERROR_ACCESS_DENIED;
        return false;
      }
    } else if (!openAlways) {
      error = ERROR_FILE_NOT_FOUND;
      return false;
    } else if (!fs::is_directory(located.host.parent_path(), failed)) {
      error = ERROR_PATH_NOT_FOUND;
      return false;
    }
    if (file.kind == Kind::File) {
      const bool existed = fs::exists(target);
#if defined(_WIN32)
      file.stream = _wfopen(located.host.c_str(), existed ? L"r+b" : L"w+b");
#else
      file.stream = std::fopen(located.host.c_str(), existed ? "r+b" : "w+b");
#endif
      if (file.stream == nullptr) {
        error = ERROR_ACCESS_DENIED;
        return false;
      }
      if (existed && openAlways) error = ERROR_ALREADY_EXISTS;
    } else if (openAlways) {
      error = ERROR_ALREADY_EXISTS;
    }
  }
  files_.emplace(handle, file);
  return true;
}

bool FileSystem::close(Handle handle) {
  auto it = files_.find(handle);
  if (it == files_.end()) return false;
  if (it->second.stream != nullptr) std::fclose(it->second.stream);
  files_.erase(it);
  return true;
}

std::uint32_t FileSystem::fileType(Handle handle, std::uint32_t& error) const {
  error = kNoError;
  auto it = files_.find(handle);
  if (it == files_.end()) {
    error = ERROR_INVALID_HANDLE;
    return FILE_TYPE_UNKNOWN;
  }
  switch (it->second.kind) {
    case Kind::CharDevice: return FILE_TYPE_CHAR;
    case Kind::Pipe: return FILE_TYPE_PIPE;
    case Kind::File:
    case Kind::Link:
    case Kind::Directory: break;
  }
  return FILE_TYPE_DISK;
}

bool FileSystem::information(Handle handle, ByHandleFileInformation& information, std::uint32_t& error) const {
  error = kNoError;
  auto it = files_.find(handle);
  if (it == files_.end()) {
    error = ERROR_INVALID_HANDLE;
    return false;
  }
  const OpenFile& file = it->second;
  if (file.kind == Kind::CharDevice || file.kind == Kind::Pipe) {
    error = ERROR_INVALID_FUNCTION;
    return false;
  }
  information = ByHandleFileInformation{};
  information.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
  information.nNumberOfLinks = 1;
  if (file.kind == Kind::Link) {
    information.dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return true;
  }
  if (file.kind == Kind::Directory) {
    information.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    return true;
  }
  std::error_code failed;
  const std::uintmax_t links = fs::hard_link_count(file.host, failed);
  const std::uintmax_t size = fs::file_size(file.host, failed);
  if (failed) {
    error = ERROR_ACCESS_DENIED;
    return false;
  }
  information.nNumberOfLinks = static_cast<std::uint32_t>(links);
  information.nFileSizeHigh = static_cast<std::uint32_t>(size >> 32);
  information.nFileSizeLow = static_cast<std::uint32_t>(size);
  return true;
}

std::u16string FileSystem::windowsFinalPath(const fs::path& canonical, bool throughShare) const {
  struct Best {
    std::size_t depth = 0;
    std::u16string prefix;
    fs::path root;
    bool share = false;
  };
  std::optional<Best> best;
  const auto consider = [&](const fs::path& root, std::u16string prefix, bool share) {
    std::error_code failed;
    const fs::path real = fs::weakly_canonical(root, failed);
    std::size_t depth = 0;
    if (failed || !under(canonical, real, depth)) return;
    // The deepest root names the file (a volume mounted in a folder of
    // another has its own name); between equals, the way it was opened.
    if (!best || depth > best->depth || (depth == best->depth && share == throughShare && best->share != share))
      best = Best{depth, std::move(prefix), real, share};
  };
  for (const auto& [letter, root] : description_.volumes) consider(root, u"\\\\?\\" + upperText(letter), false);
  for (const auto& [share, root] : description_.shares) consider(root, u"\\\\?\\UNC\\" + share.substr(2), true);
  if (!best) return canonical.u16string();
  std::u16string path = best->prefix;
  for (const auto& part : canonical.lexically_relative(best->root))
    if (part != fs::path(".")) {
      // Appended in two steps: GCC 12's -Wrestrict misreads the temporary of
      // u"\\" + text in this loop as an overlapping copy.
      path += u'\\';
      path += part.u16string();
    }
  return best->depth != 0 && path == best->prefix ? path + u"\\" : path;
}

std::optional<std::u16string> FileSystem::finalPath(Handle handle, std::uint32_t& error) const {
  error = kNoError;
  auto it = files_.find(handle);
  if (it == files_.end()) {
    error = ERROR_INVALID_HANDLE;
    return std::nullopt;
  }
  const OpenFile& file = it->second;
  if (file.kind == Kind::CharDevice || file.kind == Kind::Pipe) {
    error = ERROR_INVALID_FUNCTION;
    return std::nullopt;
  }
  std::error_code failed;
  // A link opened itself is named by where it stands, not where it points.
  const fs::path canonical = file.kind == Kind::Link
                                 ? fs::canonical(file.host.parent_path(), failed) / file.host.filename()
                                 : fs::canonical(file.host, failed);
  if (failed) {
    error = ERROR_PATH_NOT_FOUND;
    return std::nullopt;
  }
  if (!description_.present) return canonical.u16string();
  return windowsFinalPath(canonical, file.throughShare);
}

std::optional<std::u16string> FileSystem::longPath(std::u16string_view path, std::uint32_t& error) const {
  error = kNoError;
  const Located located = locate(std::u16string(path));
  std::error_code failed;
  if (located.error == kNoError && located.kind == Kind::File && !fs::exists(fs::symlink_status(located.host, failed)))
    error = ERROR_FILE_NOT_FOUND;
  else
    error = located.error;
  if (error != kNoError) return std::nullopt;
  if (located.kind != Kind::File) return std::u16string(path);
  return located.longForm;
}

std::optional<std::u16string> FileSystem::dosDevice(std::u16string_view deviceName, std::uint32_t& error) const {
  error = kNoError;
  const std::u16string nul(1, u'\0');
  if (deviceName.size() == 2 && isDriveLetter(deviceName)) {
    const std::u16string letter = upperText(deviceName);
    if (auto it = findName(description_.subst, letter); it != description_.subst.end())
      return u"\\??\\" + it->second + nul + nul;
    if (auto it = findName(description_.mapped, letter); it != description_.mapped.end())
      // The redirector's name: the letter and the logon session, then the
      // share without its first backslash.
      return u"\\Device\\LanmanRedirector\\;" + letter + u"000000000003e7e4" + it->second.substr(1) + nul + nul;
    std::size_t number = 1;
    for (const auto& [volume, root] : description_.volumes) {
      if (sameName(volume, letter)) return u"\\Device\\HarddiskVolume" + numberText(number) + nul + nul;
      ++number;
    }
  }
  error = ERROR_FILE_NOT_FOUND;
  return std::nullopt;
}

bool FileSystem::setEndOfFile(Handle handle, std::uint32_t& error) {
  error = kNoError;
  auto it = files_.find(handle);
  if (it == files_.end()) {
    error = ERROR_INVALID_HANDLE;
    return false;
  }
  OpenFile& file = it->second;
  if (file.kind == Kind::CharDevice) return true;
  if (file.kind != Kind::File) {
    error = ERROR_INVALID_FUNCTION;
    return false;
  }
  std::fflush(file.stream);
  std::error_code failed;
  fs::resize_file(file.host, file.position, failed);
  if (failed) error = ERROR_ACCESS_DENIED;
  return !failed;
}

bool FileSystem::write(Handle handle, const void* buffer, std::uint32_t size, std::uint32_t& written,
                       std::uint32_t& error) {
  error = kNoError;
  written = 0;
  auto it = files_.find(handle);
  if (it == files_.end()) {
    error = ERROR_INVALID_HANDLE;
    return false;
  }
  OpenFile& file = it->second;
  if (file.kind == Kind::CharDevice) {
    written = size;
    return true;
  }
  if (file.kind != Kind::File) {
    error = ERROR_ACCESS_DENIED;
    return false;
  }
  std::fseek(file.stream, static_cast<long>(file.position), SEEK_SET);
  written = static_cast<std::uint32_t>(std::fwrite(buffer, 1, size, file.stream));
  file.position += written;
  if (std::fflush(file.stream) != 0 || written != size) {
    error = ERROR_GEN_FAILURE;
    return false;
  }
  return true;
}

}  // namespace koa::sim
