// The log file: created empty while the command line is read, filled with
// the report at the end of the run.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace koa {

// The path named by UTF-16 text: on Windows the units as they are, elsewhere
// as UTF-8 (an unpaired surrogate as "?"). Never throws.
std::filesystem::path pathFromUtf16(std::u16string_view text);

// Each UTF-16 unit reduced to its low 8 bits: the log is narrow text.
std::string lowBytes(std::u16string_view text);

// Opens the file for writing in text mode (created if missing, emptied if
// present), writes text and closes it. False when it cannot be opened or the
// text cannot be written. On Windows the runtime writes each line feed as
// CR LF.
[[nodiscard]] bool replaceFileText(std::u16string_view path, std::string_view text);

}  // namespace koa
