// Placeholder until the IRST path lands.
#include "transfer/irst_path.h"

namespace koa {
std::uint32_t updateIrstDrive(const DriveRecord&, const std::uint32_t&) { return 5; }
std::uint32_t downloadIrst(Handle, const DriveRecord&, const std::uint32_t&) { return 1; }
std::uint32_t activateIrst(Handle, std::uint32_t) { return 1; }
}  // namespace koa
