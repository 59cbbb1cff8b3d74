#include "update/process_rights.h"

#include <cstdint>

#include "platform/unique_handle.h"
#include "wire/byte_order.h"

namespace koa {

bool runsWithoutAdministratorRights() {
  Platform& platform = currentPlatform();
  Handle token = kInvalidHandle;
  if (!platform.OpenProcessToken(TOKEN_QUERY, &token)) return false;
  const UniqueHandle owned(token);
  std::uint8_t elevation[kTokenElevationLength] = {};
  std::uint32_t returned = 0;
  if (!platform.GetTokenInformation(owned.get(), TokenElevation, elevation, sizeof elevation, &returned) ||
      returned != sizeof elevation)
    return false;
  return get32(elevation, 0) == 0;
}

}  // namespace koa
