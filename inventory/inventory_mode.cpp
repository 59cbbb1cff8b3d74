#include "inventory/inventory_mode.h"

#include <string_view>

#include "report/console.h"

namespace koa {

std::optional<InventoryMode> parseInventoryMode(int argc, const char16_t* const* argv) {
  if (argc <= 1) return InventoryMode::Table;
  if (argc > 2 || argv[1] == nullptr) return std::nullopt;
  const std::u16string_view item = argv[1];
  if (item == u"/json") return InventoryMode::Json;
  if (item == u"/detect") return InventoryMode::Detect;
  if (item == u"/require") return InventoryMode::Require;
  return std::nullopt;
}

void printInventoryUsage() {
  console::errorLine("Usage: koa-inventory [/json | /detect | /require]");
  console::errorLine("  (none)    a table of the drives and a summary line; exit 0 when no drive needs");
  console::errorLine("            the update, 1 when one does");
  console::errorLine("  /json     one JSON document; exit codes as for the table");
  console::errorLine("  /detect   one line when no drive needs the update, nothing when one does; exit 0");
  console::errorLine("  /require  the number of drives that need the update; exit 0");
  console::errorLine("Exit code 2: the machine could not be looked at whole, or the command line was refused.");
}

}  // namespace koa
