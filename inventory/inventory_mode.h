// The inventory's command line: no switch for the table, or one of "/json",
// "/detect" and "/require".
#pragma once

#include <optional>

namespace koa {

enum class InventoryMode { Table, Json, Detect, Require };

// nullopt for a command line the program refuses (argument 0 is its path).
[[nodiscard]] std::optional<InventoryMode> parseInventoryMode(int argc, const char16_t* const* argv);

// The usage text, on standard error: a script reading standard output sees nothing.
void printInventoryUsage();

}  // namespace koa
