// Entry point of koa-inventory on the simulated Windows machine: the Linux
// program, and the Windows program built for testing under Wine.
#include <iostream>
#include <string>
#include <vector>

#include "discovery/device_property.h"
#include "inventory/run_inventory.h"
#include "sim/machine_from_environment.h"

namespace {

int runOnSimulatedMachine(int argc, const char16_t* const* argv) {
  auto machine = koa::sim::machineFromEnvironment(std::cerr);
  if (!machine) return koa::kInventoryCouldNotLook;
  koa::installPlatform(machine->platform());
  const int exitCode = koa::runInventory(argc, argv);
  if (!machine->finishRun(std::cerr)) return koa::kInventoryCouldNotLook;
  return exitCode;
}

}  // namespace

#ifdef _WIN32

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide text is UTF-16 on Windows");

int wmain(int argc, wchar_t** argv) {
  return runOnSimulatedMachine(argc, reinterpret_cast<const char16_t* const*>(argv));
}

#else

int main(int argc, char** argv) {
  std::vector<std::u16string> wide;
  wide.reserve(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i) wide.push_back(koa::utf8ToUtf16(argv[i]));
  std::vector<const char16_t*> wideArgv;
  for (const auto& argument : wide) wideArgv.push_back(argument.c_str());
  wideArgv.push_back(nullptr);
  return runOnSimulatedMachine(argc, wideArgv.data());
}

#endif
