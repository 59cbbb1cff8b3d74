// The log file: opened once by name while the command line is read, checked,
// emptied through its handle and kept open; the report is written through
// that handle at the end of the run. The program runs elevated and the log's
// folder may belong to anyone, so the name is never opened a second time and
// a file the path does not plainly name is refused.
#pragma once

#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace koa {

// Each UTF-16 unit reduced to its low 8 bits: the log is narrow text.
std::string lowBytes(std::u16string_view text);

// A value on its way into the log: a unit whose low 8 bits fall below 0x20
// becomes "?", so that no path or drive text can end a line of the log (or
// start a forged one: U+010A would be a line feed).
std::u16string logValue(std::u16string_view text);

class LogFile {
 public:
  LogFile() = default;
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Opens or creates the file at `path` without following a link at its
  // name and without letting it be deleted or renamed while open; keeps it
  // only when it is a plain disk file with one name that the path reaches as
  // given (no junction or link on the way), and then empties it. A refused
  // file keeps every byte. A file open before is closed first.
  [[nodiscard]] bool open(std::u16string_view path);
  [[nodiscard]] bool isOpen() const { return handle_ != kInvalidHandle; }
  // Writes narrow text with "\n" line ends as CR LF, the line ends Windows
  // tools expect. False when the file is not open or a write fails.
  [[nodiscard]] bool write(std::string_view text);
  void close();

 private:
  Handle handle_ = kInvalidHandle;
};

}  // namespace koa
