// The wire between the device shim (a driver inside Wine's winedevice.exe,
// tests/windows/device_shim/) and the model that answers it
// (build/linux/koa-sim-host): one TCP connection on 127.0.0.1, opened by the
// shim when it loads, closed when it unloads. Every message is a fixed
// header followed by its payload; every number is little-endian.
//
// The header is also built by the shim, which runs without a C++ runtime:
// nothing here may need more than <cstdint> and constexpr.
//
// Request (shim to model), kRequestSize bytes, then `inputLength` bytes:
//
//   OFFSET  SIZE  FIELD
//   0       4     magic           kMagic
//   4       4     op              an Op
//   8       4     file            the shim's number for the open file (Create, Close, DeviceControl)
//   12      4     name            the name that was opened, an index into the hello answer's names (Create)
//   16      4     a               Create: ShareAccess; DeviceControl: the I/O control code; Report: 0
//   20      4     b               Create: the create options; DeviceControl: the output buffer size
//   24      4     inputLength     DeviceControl: input bytes; Report: UTF-16 units times 2; else 0
//   28      4     reserved        0
//
// Answer (model to shim), kAnswerSize bytes, then `length` bytes:
//
//   OFFSET  SIZE  FIELD
//   0       4     magic           kMagic
//   4       4     error           the Windows error of the call (0: success); the shim returns the
//                                 NTSTATUS whose GetLastError value this is
//   8       4     length          Hello: the device list; DeviceControl: the bytes returned, which
//                                 follow (never more than the output size); else 0
//   12      4     reserved        0
#pragma once

#include <cstdint>

namespace koa::shim {

inline constexpr std::uint32_t kMagic = 0x4D53414Bu;  // "KASM"

enum class Op : std::uint32_t {
  Hello = 1,          // the shim has loaded: the answer carries the device list
  Create = 2,         // IRP_MJ_CREATE on the device object of `name`
  Close = 3,          // IRP_MJ_CLOSE of `file`
  DeviceControl = 4,  // IRP_MJ_DEVICE_CONTROL on `file`
  Report = 5,         // the shim met something it cannot present; the input is the text
  Goodbye = 6,        // the shim unloads: the run is over
};

inline constexpr std::uint32_t kRequestSize = 32;
inline constexpr std::uint32_t kRequestMagicAt = 0;
inline constexpr std::uint32_t kRequestOpAt = 4;
inline constexpr std::uint32_t kRequestFileAt = 8;
inline constexpr std::uint32_t kRequestNameAt = 12;
inline constexpr std::uint32_t kRequestAAt = 16;
inline constexpr std::uint32_t kRequestBAt = 20;
inline constexpr std::uint32_t kRequestInputLengthAt = 24;

inline constexpr std::uint32_t kAnswerSize = 16;
inline constexpr std::uint32_t kAnswerMagicAt = 0;
inline constexpr std::uint32_t kAnswerErrorAt = 4;
inline constexpr std::uint32_t kAnswerLengthAt = 8;

// The largest request or answer payload either side accepts: a firmware
// piece of the largest granularity (255 x 4 KiB) with its headers, and a
// device list, fit well inside.
inline constexpr std::uint32_t kMaxPayload = 16u << 20;

// The device list (the Hello answer) is a sequence of fields, each a 2-byte
// tag, a 2-byte count of UTF-16 units and the units. A number is one field
// of two units (low 16 bits first).
//
// The list holds the device nodes, each opened by kNode and followed by its
// fields, and the names, each opened by kName and followed by its fields.
enum class Tag : std::uint16_t {
  Node = 1,          // a device node (its index, a number)
  InstanceId = 2,    // the node's DEVPKEY_Device_InstanceId
  Parent = 3,        // DEVPKEY_Device_Parent
  HardwareId = 4,    // one of SPDRP_HARDWAREID's strings, in order (repeated)
  DriverDesc = 5,    // DEVPKEY_Device_DriverDesc
  LocationInfo = 6,  // DEVPKEY_Device_LocationInfo
  SetupClass = 7,    // the node's device setup class GUID, "{...}"
  ClassName = 8,     // the setup class's name ("DiskDrive", "SCSIAdapter")
  Name = 16,         // an openable name (its index, a number): one device object of the shim
  NameNode = 17,     // the node whose interface this name is (a number); absent for a DOS name
  InterfaceClass = 18,  // the interface class GUID, "{...}", of an interface name
  InterfacePath = 19,   // the interface's path as the machine spells it, for the shim's check
  DosName = 20,      // the object-manager link of a DOS name, "\DosDevices\PHYSICALDRIVE1"
  Refused = 21,      // every open of this name fails with this Windows error (a number), staged
                     // outside the shim: no link to the shim's device object is made
};

inline constexpr std::uint16_t kFieldHeaderSize = 4;

// Little-endian access to a byte buffer, for both sides.
constexpr std::uint32_t get32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}
constexpr void put32(std::uint8_t* bytes, std::uint32_t value) {
  bytes[0] = static_cast<std::uint8_t>(value);
  bytes[1] = static_cast<std::uint8_t>(value >> 8);
  bytes[2] = static_cast<std::uint8_t>(value >> 16);
  bytes[3] = static_cast<std::uint8_t>(value >> 24);
}
constexpr std::uint16_t get16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}
constexpr void put16(std::uint8_t* bytes, std::uint16_t value) {
  bytes[0] = static_cast<std::uint8_t>(value);
  bytes[1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace koa::shim
