// The result message box's caption.
#pragma once

#include <string>

namespace koa {

// "TORVALE " followed by imageRevision.
std::u16string messageCaption();

}  // namespace koa
