#include "report/log_file.h"

#include "platform/platform.h"
#include "report/log_path.h"

namespace koa {

std::string lowBytes(std::u16string_view text) {
  std::string narrow(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) narrow[i] = static_cast<char>(text[i] & 0xFF);
  return narrow;
}

std::u16string logValue(std::u16string_view text) {
  std::u16string safe(text);
  for (char16_t& unit : safe)
    if ((unit & 0xFF) < 0x20) unit = u'?';
  return safe;
}

LogFile::~LogFile() { close(); }

void LogFile::close() {
  if (handle_ != kInvalidHandle) (void)currentPlatform().CloseHandle(handle_);
  handle_ = kInvalidHandle;
}

bool LogFile::open(std::u16string_view path) {
  close();
  if (hasControlCharacter(path)) return false;
  Platform& platform = currentPlatform();
  const std::u16string name(path);
  // FILE_READ_ATTRIBUTES for the checks; no FILE_SHARE_DELETE, so that the
  // file cannot be renamed away and replaced while the run holds it.
  const Handle handle = platform.CreateFileW(name.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
  if (handle == kInvalidHandle) return false;
  // Emptied only once it is known to be the file the path names: a refused
  // file is left as it was.
  if (!isPlainFileNamedBy(handle, name) || !platform.SetEndOfFile(handle)) {
    (void)platform.CloseHandle(handle);
    return false;
  }
  handle_ = handle;
  return true;
}

bool LogFile::write(std::string_view text) {
  if (handle_ == kInvalidHandle) return false;
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  std::uint32_t written = 0;
  return currentPlatform().WriteFile(handle_, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written) &&
         written == bytes.size();
}

}  // namespace koa
