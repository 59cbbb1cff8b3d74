#include "wire/device_path.h"

namespace koa {
namespace {

std::u16string withNumber(std::u16string_view prefix, std::int32_t number, std::u16string_view suffix) {
  std::u16string path(prefix);
  for (char digit : std::to_string(number)) path.push_back(static_cast<char16_t>(digit));
  return path.append(suffix);
}

}  // namespace

std::u16string physicalDrivePath(std::int32_t deviceNumber) {
  return withNumber(u"\\\\.\\PHYSICALDRIVE", deviceNumber, u"");
}

std::u16string vrocPortPath(std::int32_t port) { return withNumber(u"\\\\.\\Scsi", port, u":"); }

}  // namespace koa
