// The simulated machine's files, for the log the program writes. A path the
// machine description does not claim is a path of the host and goes to the
// host's own file system (a Linux path on Linux); the description's
// "fileSystem" section adds the Windows namespace a test needs to set up a
// log path: local volumes and shares backed by host directories, SUBST and
// mapped network drives, a current directory, named pipes. On the host
// directories, a symbolic link stands for a junction or a symbolic link,
// a host hard link for a hard link, and 8.3 short names are made up as
// Windows makes them. docs/simulator.md describes the section.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace koa::sim {

struct FileSystemDescription {
  bool present = false;  // without the section every path is the host's
  // Keys as given ("C:", "\\server\share"); looked up without regard to case.
  std::map<std::u16string, std::filesystem::path> volumes;  // drive letter: host directory
  std::map<std::u16string, std::filesystem::path> shares;   // "\\server\share": host directory
  std::map<std::u16string, std::u16string> subst;           // drive letter: the folder it stands for
  std::map<std::u16string, std::u16string> mapped;          // drive letter: "\\server\share"
  std::vector<std::u16string> pipes;                        // the names after "\\.\pipe\"
  std::u16string currentDirectory;                          // empty: the host's
};

class FileSystem {
 public:
  explicit FileSystem(FileSystemDescription description);
  ~FileSystem();
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;

  // Whether an open of `path` is an open of a file rather than of a device
  // (\\.\PhysicalDrive0, an interface path): any path but those of the
  // \\.\ and \\?\ namespaces that name no drive letter, share, pipe or DOS
  // device.
  [[nodiscard]] static bool claims(std::u16string_view path);

  // Each call sets `error` (0 on success, as the Win32 call would leave it).
  bool open(Handle handle, std::u16string_view fileName, std::uint32_t creationDisposition,
            std::uint32_t flagsAndAttributes, std::uint32_t& error);
  bool close(Handle handle);
  [[nodiscard]] bool isOpen(Handle handle) const { return files_.count(handle) != 0; }
  [[nodiscard]] std::size_t openCount() const { return files_.size(); }

  std::uint32_t fileType(Handle handle, std::uint32_t& error) const;
  bool information(Handle handle, ByHandleFileInformation& information, std::uint32_t& error) const;
  std::optional<std::u16string> finalPath(Handle handle, std::uint32_t& error) const;
  std::optional<std::u16string> fullPath(std::u16string_view fileName, std::uint32_t& error) const;
  std::optional<std::u16string> longPath(std::u16string_view path, std::uint32_t& error) const;
  // The targets, each ended by a NUL, and one more NUL.
  std::optional<std::u16string> dosDevice(std::u16string_view deviceName, std::uint32_t& error) const;
  bool setEndOfFile(Handle handle, std::uint32_t& error);
  bool write(Handle handle, const void* buffer, std::uint32_t size, std::uint32_t& written, std::uint32_t& error);

 private:
  enum class Kind { File, Link, Directory, CharDevice, Pipe };
  struct OpenFile {
    Kind kind = Kind::File;
    std::filesystem::path host;
    bool throughShare = false;  // opened by a UNC path or a mapped drive
    std::FILE* stream = nullptr;
    std::uint64_t position = 0;
  };
  // Where a full path leads: a host path, a device, a pipe, or an error.
  struct Located {
    std::uint32_t error = 0;
    Kind kind = Kind::File;
    std::filesystem::path host;
    bool throughShare = false;
    std::u16string longForm;  // the path with short names replaced
  };

  [[nodiscard]] bool isWindowsForm(std::u16string_view path) const;
  [[nodiscard]] Located locate(const std::u16string& full) const;
  [[nodiscard]] std::u16string windowsFinalPath(const std::filesystem::path& canonical, bool throughShare) const;

  FileSystemDescription description_;
  std::map<Handle, OpenFile> files_;
};

}  // namespace koa::sim
