// Placeholder until the inbox path lands: no property can be read.
#include "discovery/device_property.h"

namespace koa {
bool readDeviceProperty(DevInfoSet, const SpDevInfoData&, const DevPropKey&, std::u16string&) { return false; }
}  // namespace koa
