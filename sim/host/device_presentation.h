// What the device shim presents to Wine for a machine description: the
// present device nodes with their properties, and every name a program
// opens a device by (interface paths, \\.\PHYSICALDRIVE<n>, \\.\Scsi<n>:),
// each one device object of the shim, so that an open tells the model which
// name was used.
//
// Wine runs the program's SetupAPI calls itself and decides its opens in
// its own I/O manager; what it cannot be made to answer as the simulated
// machine does is refused here, with the field that asks for it:
//   - a fault on a call number (the SetupAPI calls that the numbers count
//     never reach the model);
//   - an interface path other than the one Wine derives from the node's
//     instance identifier ("\\?\" and the identifier with "#" for "\",
//     "#", the class GUID; letters in any case);
//   - a refused open that depends on the order of opens (`failOpen` with
//     `nth`) or fails with another error than 2, 5 or 32: Wine 8 ignores a
//     driver's answer to an open, so a refusal is staged in Wine's own
//     namespace, for every open of the device (PresentedName::refused).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win_types.h"
#include "sim/machine_description.h"

namespace koa::sim::host {

struct PresentedName {
  // The name as the simulated machine spells it: what the model opens when
  // the shim reports an open of this name, and what its trace shows.
  std::u16string path;
  std::optional<std::size_t> node;  // the node (index in nodes) of an interface
  Guid interfaceClass{};            // of an interface
  std::u16string dosLink;           // "\DosDevices\PHYSICALDRIVE1" of a DOS name
  // Not 0: every open of this name fails with this error (2, 5 or 32), as
  // the machine refuses it; the runner stages it as the dosdevices entry
  // `stagedEntry` (lower case): none for 2, a directory for 5, a file the
  // shim holds open without sharing for 32.
  std::uint32_t refused = 0;
  std::string stagedEntry;
};

struct Presentation {
  std::vector<DeviceNode> nodes;  // the present nodes, in description order
  std::vector<PresentedName> names;
  // False: the program runs with the limited token (the runner starts it
  // through koa-limited-token.exe), as a caller without administrator rights.
  bool elevated = true;
};

// The presentation of `machine`; nullopt with "<JSON pointer>: <what>" in
// `error` when Wine cannot present it.
[[nodiscard]] std::optional<Presentation> presentationFor(const MachineDescription& machine, std::string& error);

// The device list of the Hello answer (sim/host/shim_protocol.h).
[[nodiscard]] std::vector<std::uint8_t> encodeDeviceList(const Presentation& presentation);

// "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}": lower case, as Windows writes
// class GUIDs in the registry and in interface paths.
[[nodiscard]] std::u16string guidText(const Guid& guid);

}  // namespace koa::sim::host
