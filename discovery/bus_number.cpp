#include <climits>
#include <cstdint>
#include <optional>

#include "discovery/device_property.h"
#include "discovery/intel_raid_controller.h"
#include "platform/unique_handle.h"

namespace koa {
namespace {

bool isWideSpace(char16_t unit) {
  return unit == u' ' || (unit >= u'\t' && unit <= u'\r');
}

// wcstol(text, nullptr, 10) with the 32-bit long of Windows: leading white
// space, an optional sign, decimal digits up to the first other character,
// clamped to the range of long. Where wcstol gives 0 for a text without a
// digit, this gives nullopt: bus 0 is a real bus, and a location text that
// names none must not address the drive on it.
std::optional<std::int32_t> wideToLong(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isWideSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  if (i == text.size() || text[i] < u'0' || text[i] > u'9') return std::nullopt;
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - u'0');
    if (magnitude > std::int64_t{INT32_MAX} + 1) magnitude = std::int64_t{INT32_MAX} + 1;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::int32_t readBusNumber(std::uint32_t devInst) {
  Platform& platform = currentPlatform();
  // DIGCF_ALLCLASSES makes the class irrelevant: every present device node.
  UniqueDevInfoSet nodes(platform.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, /*enumerator=*/nullptr,
                                                       DIGCF_PRESENT | DIGCF_ALLCLASSES));
  if (!nodes.valid()) return -1;

  SpDevInfoData node{};
  node.cbSize = sizeof(SpDevInfoData);
  std::uint32_t index = 0;
  for (;; ++index) {
    if (!platform.SetupDiEnumDeviceInfo(nodes.get(), index, &node)) return -1;
    if (node.DevInst == devInst) break;
  }

  const std::optional<std::u16string> location =
      readDevicePropertyText(nodes.get(), node, DEVPKEY_Device_LocationInfo);
  if (!location || !contains(*location, u"Bus Number ")) return -1;

  // "Bus Number 1, Target Id 0, LUN 0": the number after the second blank
  // of the text before the first comma.
  std::u16string_view text(*location);
  text = text.substr(0, text.find(u','));
  const std::size_t firstBlank = text.find(u' ');
  if (firstBlank == std::u16string_view::npos) return -1;
  const std::size_t secondBlank = text.find(u' ', firstBlank + 1);
  if (secondBlank == std::u16string_view::npos) return -1;
  return wideToLong(text.substr(secondBlank)).value_or(-1);
}

}  // namespace koa
