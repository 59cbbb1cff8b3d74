// The machine the program runs on when KOA_SIM_MACHINE names none: the text
// of examples/machines/workstation.json, built into the program.
#pragma once

#include <string_view>

namespace koa::sim {

std::string_view defaultMachineText();

}  // namespace koa::sim
