// A simulated machine whose drivers answer as a fuzzer's bytes decide: the
// bytes pick one of the example machines and then a list of changes to it,
// each made through the simulator's own description (faults that patch,
// replace or fail answers, Identify data patches, drive fields, device
// properties, malformed get-info answers, VROC counts, IRST membership).
// Every byte sequence gives a description; one the simulator refuses to load
// is simply not run.
#pragma once

#include <cstdint>
#include <span>

#include <nlohmann/json.hpp>

namespace koa::fuzz {

[[nodiscard]] nlohmann::json fuzzedMachine(std::span<const std::uint8_t> bytes);

// Runs the program on the machine that `bytes` describe and checks the run
// invariants. Returns the broken invariants, one a line (empty when none
// broke or the description did not load).
[[nodiscard]] std::string runFuzzedMachine(std::span<const std::uint8_t> bytes);

}  // namespace koa::fuzz
