#include "sim/drivers.h"

namespace koa::sim {

std::shared_ptr<NvmeDrive> referencedDrive(const JsonField& field, const DriveTable& drives) {
  const std::string name = field.string();
  auto it = drives.find(name);
  if (it == drives.end()) field.fail("no drive named \"" + name + "\" in /drives");
  return it->second;
}

}  // namespace koa::sim
