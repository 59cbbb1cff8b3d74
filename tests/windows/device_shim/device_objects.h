// What the shim makes of the device list inside Wine: for every device node
// the node under HKLM\System\CurrentControlSet\Enum and its unified
// properties (set through an unnamed device object that answers
// IRP_MN_QUERY_ID with the node's identifiers); for every name one named
// device object, reached by the name's link: a device interface registered
// and enabled with IoRegisterDeviceInterface and IoSetDeviceInterfaceState,
// or a DOS name made with IoCreateSymbolicLink.
//
// A name whose opens the model refuses gets no link to the shim: Wine 8
// ignores a driver's answer to IRP_MJ_CREATE, so the runner stages the
// refusal in Wine's own namespace (a dosdevices entry that Wine refuses to
// open) and, for a sharing violation, the shim holds that entry open with
// no sharing.
#pragma once

#include "device_list.h"

namespace koa::shim {

// The device extension of every device object of the shim.
struct ShimDevice {
  const ListedNode* node = nullptr;  // whose identifiers IRP_MN_QUERY_ID answers with (null: a DOS name)
  const ListedName* name = nullptr;  // the name this object is reached by (null: a node's own object)
  UNICODE_STRING interfaceLink = {};  // from IoRegisterDeviceInterface
  bool interfaceEnabled = false;
  bool dosLinked = false;
  HANDLE held = nullptr;  // the staged entry held open for a sharing violation
};

// Presents every node and name of `list`. False at the first step that
// fails, with the reason in `problem`; what was made stays for
// removeDevices.
[[nodiscard]] bool presentDevices(DRIVER_OBJECT* driver, const DeviceList& list, Message& problem);

// Undoes presentDevices: disables the interfaces, deletes the links and the
// device objects, closes the held entries.
void removeDevices(DRIVER_OBJECT* driver);

// The answer to IRP_MN_QUERY_ID for BusQueryDeviceID and BusQueryInstanceID
// (the instance identifier before and after its last backslash), in a pool
// buffer the PnP caller frees; null for other types or without memory.
[[nodiscard]] WCHAR* queryId(const ShimDevice& device, BUS_QUERY_ID_TYPE type);

}  // namespace koa::shim
