#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace koa {
namespace {
Platform* installed = nullptr;
}

Platform& currentPlatform() {
  // Reaching a device before the entry point installed a platform is a
  // programming error, never a run-time condition.
  if (installed == nullptr) {
    std::fputs("internal error: no platform installed\n", stderr);
    std::abort();
  }
  return *installed;
}

void installPlatform(Platform& platform) { installed = &platform; }

}  // namespace koa
