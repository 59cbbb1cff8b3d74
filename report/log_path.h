// Whether an open log file is the file its path plainly names.
#pragma once

#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace koa {

// U+0000 to U+001F or U+007F anywhere in the path.
[[nodiscard]] bool hasControlCharacter(std::u16string_view path);

// True when the file open at `file` is a disk file (not a folder, device or
// pipe), no reparse point, has exactly one name, and is the one `path`
// reaches as given: the path the handle really reaches, links resolved,
// equals the path made absolute, with 8.3 names made long and SUBST and
// mapped drives replaced by what they stand for, letters compared without
// regard to case; a UNC share as its folder's handle names it (itself on
// Windows, the folder behind it under Wine). A junction or symbolic link anywhere on the way makes the
// two differ. So does a folder that is a volume mount point when the volume
// also has a drive letter: Windows then names the file under that letter.
[[nodiscard]] bool isPlainFileNamedBy(Handle file, const std::u16string& path);

}  // namespace koa
