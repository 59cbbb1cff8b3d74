// libFuzzer entry: the fuzzer's bytes decide how the drivers answer for one
// whole run of the program (tests/fuzz/fuzzed_machine.h). A crash or a
// sanitizer report ends the fuzzer by itself; a broken run invariant is
// reported and aborts, so that libFuzzer keeps the input.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzzed_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string broken = koa::fuzz::runFuzzedMachine(std::span<const std::uint8_t>(data, size));
  if (!broken.empty()) {
    std::fprintf(stderr, "run invariants broken:\n%s", broken.c_str());
    std::abort();
  }
  return 0;
}
