#include "discovery/interface_detail.h"

#include "discovery/growing_read.h"
#include "wire/byte_order.h"

namespace koa {
namespace {

GrowingRule ruleOf(DetailWalk walk) {
  constexpr auto kExact = GrowingRule::Allocation::ReportedSize;
  switch (walk) {
    case DetailWalk::InboxDisks:
      return {kExact, GrowingRule::Retry::WhileTheSizeGrows, kInterfaceDetailPathOffset};
    case DetailWalk::IntelDisks:
      return {kExact, GrowingRule::Retry::WhileInsufficient, kInterfaceDetailPathOffset};
    case DetailWalk::ControllerProbe:
      break;
  }
  return {kExact, GrowingRule::Retry::Once, kInterfaceDetailPathOffset};
}

}  // namespace

std::optional<InterfaceDetail> readInterfaceDetail(DevInfoSet set, const SpDeviceInterfaceData& interface,
                                                   DetailWalk walk) {
  Platform& platform = currentPlatform();
  InterfaceDetail result;
  result.device.cbSize = sizeof(SpDevInfoData);
  const bool elementWithSizeQuery = walk == DetailWalk::InboxDisks;
  const std::optional<GrowingBuffer> detail = readGrowing(
      ruleOf(walk),
      [&](std::uint8_t* buffer, std::uint32_t size, std::uint32_t* required) {
        SpDevInfoData* element = buffer != nullptr || elementWithSizeQuery ? &result.device : nullptr;
        return platform.SetupDiGetDeviceInterfaceDetailW(set, &interface, buffer, size, required, element);
      },
      [](std::uint8_t* buffer) { put32(buffer, 0, kInterfaceDetailCbSize); });
  if (!detail) return std::nullopt;
  result.devicePath = textUntilNul(*detail, kInterfaceDetailPathOffset);
  return result;
}

}  // namespace koa
