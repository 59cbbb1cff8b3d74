#include "report/window_station.h"

#include <cstdint>

#include "platform/platform.h"
#include "wire/byte_order.h"

namespace koa {

bool windowStationIsVisible() {
  Platform& platform = currentPlatform();
  const Handle station = platform.GetProcessWindowStation();
  if (station == 0) return true;
  std::uint8_t flags[kUserObjectFlagsLength] = {};
  std::uint32_t needed = 0;
  if (!platform.GetUserObjectInformationW(station, UOI_FLAGS, flags, sizeof flags, &needed)) return true;
  return (get32(flags, kUserObjectFlagsDwFlagsOffset) & WSF_VISIBLE) != 0;
}

}  // namespace koa
