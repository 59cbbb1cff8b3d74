// The inventory in each of its forms: the table a person reads, the JSON
// document (docs/inventory.schema.json), the detection line and the
// requirement count.
#pragma once

#include <string>

#include "inventory/drive_inventory.h"

namespace koa {

[[nodiscard]] std::string inventoryTable(const Inventory& inventory);
// machineName: empty when it could not be read (the document then leaves it out).
[[nodiscard]] std::string inventoryJson(const Inventory& inventory, const std::string& machineName);
// The line a detection rule reads once no drive needs the update.
[[nodiscard]] std::string detectionLine(const Inventory& inventory);

}  // namespace koa
