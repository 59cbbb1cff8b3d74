// Placeholder until the VROC path lands.
#include "transfer/vroc_path.h"

namespace koa {
std::uint32_t updateVrocDrive(const DriveRecord&, const std::uint32_t&, std::int32_t) { return 5; }
std::uint32_t downloadVroc(Handle, const DriveRecord&, const std::uint32_t&) { return 1; }
std::uint32_t activateVroc(Handle, std::int32_t) { return 1; }
}  // namespace koa
