// The device list the model sends when the shim loads (the Hello answer of
// sim/host/shim_protocol.h), read into nodes and names. Every text is copied
// NUL-terminated into one pool block owned by the list.
#pragma once

#include "shim_kernel.h"

namespace koa::shim {

// A NUL-terminated text of the list; empty (length 0, text "") when absent.
struct Text {
  const WCHAR* text = nullptr;
  std::uint32_t length = 0;  // in UTF-16 units, without the NUL
  [[nodiscard]] bool present() const { return length != 0; }
  [[nodiscard]] ULONG bytesWithNul() const { return (length + 1) * sizeof(WCHAR); }
};

struct ListedNode {
  std::uint32_t index = 0;
  Text instanceId;
  Text parent;
  Text driverDesc;
  Text locationInfo;
  Text setupClass;  // "{...}"
  Text className;
  const WCHAR* hardwareIds = nullptr;  // REG_MULTI_SZ: each string with its NUL, then a NUL
  ULONG hardwareIdsBytes = 0;          // 0 when the node has none
};

struct ListedName {
  std::uint32_t index = 0;
  const ListedNode* node = nullptr;  // the node of an interface; null for a DOS name
  Text interfaceClass;               // "{...}" for an interface
  Text interfacePath;                // the interface's path as the machine spells it
  Text dosName;                      // "\DosDevices\..." for a DOS name
  std::uint32_t refused = 0;         // the Windows error every open fails with (0: none)
};

struct DeviceList {
  ListedNode* nodes = nullptr;
  std::uint32_t nodeCount = 0;
  ListedName* names = nullptr;
  std::uint32_t nameCount = 0;
  void* storage = nullptr;  // one pool block holding all of the above
};

// Reads `length` bytes of the list. False, with the reason in `problem`,
// when the list is malformed (a field past the end, a field outside a node
// or name, a name naming no node); nothing is left allocated then.
[[nodiscard]] bool readDeviceList(const std::uint8_t* bytes, std::uint32_t length, DeviceList& list,
                                  Message& problem);
void freeDeviceList(DeviceList& list);

}  // namespace koa::shim
