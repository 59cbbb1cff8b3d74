#include "report/timestamp.h"

#include <cstdio>

#include "platform/platform.h"

namespace koa {

std::string currentTimestamp() {
  const LocalTime now = currentPlatform().localTime();
  // Wide enough for any int in every field, so nothing is ever cut.
  char text[96];
  std::snprintf(text, sizeof text, "%02d-%02d-%04d(%02d:%02d:%02d)", now.day, now.month, now.year,
                now.hour, now.minute, now.second);
  return text;
}

}  // namespace koa
