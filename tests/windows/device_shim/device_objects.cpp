#include "device_objects.h"

namespace koa::shim {

namespace {

constexpr DEVPROPKEY kInstanceIdKey = {{0x78C34FC8, 0x104A, 0x4ACA, {0x9E, 0xA4, 0x52, 0x4D, 0x52, 0x99, 0x6E, 0x57}}, 256};
constexpr DEVPROPKEY kParentKey = {{0x4340A6C5, 0x93FA, 0x4706, {0x97, 0x2C, 0x7B, 0x64, 0x80, 0x08, 0xA5, 0xA7}}, 8};
constexpr DEVPROPKEY kDriverDescKey = {{0xA8B865DD, 0x2E3D, 0x4094, {0xAD, 0x97, 0xE5, 0x93, 0xA7, 0x0C, 0x75, 0xD6}}, 4};
constexpr DEVPROPKEY kLocationInfoKey = {{0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 15};
constexpr DEVPROPKEY kHardwareIdsKey = {{0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 3};
constexpr DEVPROPTYPE kDevPropTypeString = 0x12;
constexpr DEVPROPTYPE kDevPropTypeStringList = 0x2012;
constexpr LCID kLocaleNeutral = 0;
constexpr std::uint32_t kErrorSharingViolation = 32;

constexpr std::uint32_t kPathCapacity = 512;  // UTF-16 units, NUL included: small frames, no stack probes

// A path built from pieces into a fixed buffer; `ok` turns false when it
// would not fit.
class Path {
 public:
  Path& add(const WCHAR* text, std::uint32_t length) {
    if (length_ + length >= kPathCapacity) {
      ok_ = false;
      return *this;
    }
    for (std::uint32_t i = 0; i < length; ++i) units_[length_ + i] = text[i];
    length_ += length;
    units_[length_] = 0;
    return *this;
  }
  Path& add(const WCHAR* text) { return add(text, static_cast<std::uint32_t>(wcslen(text))); }
  Path& add(const Text& text) { return add(text.text, text.length); }
  Path& number(std::uint32_t value) {
    WCHAR digits[10];
    std::uint32_t count = 0;
    do {
      digits[count++] = static_cast<WCHAR>(L'0' + value % 10);
      value /= 10;
    } while (value != 0);
    WCHAR reversed[10];
    for (std::uint32_t i = 0; i < count; ++i) reversed[i] = digits[count - 1 - i];
    return add(reversed, count);
  }
  [[nodiscard]] bool ok() const { return ok_; }
  [[nodiscard]] std::uint32_t length() const { return length_; }
  WCHAR* units() { return units_; }
  UNICODE_STRING string() {
    UNICODE_STRING s;
    s.Buffer = units_;
    s.Length = static_cast<USHORT>(length_ * sizeof(WCHAR));
    s.MaximumLength = static_cast<USHORT>(kPathCapacity * sizeof(WCHAR));
    return s;
  }

 private:
  WCHAR units_[kPathCapacity] = {};
  std::uint32_t length_ = 0;
  bool ok_ = true;
};

UNICODE_STRING stringOf(const Text& text) {
  UNICODE_STRING s;
  s.Buffer = const_cast<WCHAR*>(text.text);
  s.Length = static_cast<USHORT>(text.length * sizeof(WCHAR));
  s.MaximumLength = s.Length;
  return s;
}

bool sameTextIgnoringCase(const WCHAR* a, const WCHAR* b, std::uint32_t length) {
  for (std::uint32_t i = 0; i < length; ++i) {
    WCHAR x = a[i];
    WCHAR y = b[i];
    if (x >= L'A' && x <= L'Z') x = static_cast<WCHAR>(x + 32);
    if (y >= L'A' && y <= L'Z') y = static_cast<WCHAR>(y + 32);
    if (x != y) return false;
  }
  return true;
}

NTSTATUS createKey(UNICODE_STRING path, HANDLE& key) {
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
  return ZwCreateKey(&key, KEY_ALL_ACCESS, &attributes, 0, nullptr, 0, nullptr);
}

NTSTATUS setValue(HANDLE key, const WCHAR* name, ULONG type, const void* data, ULONG size) {
  UNICODE_STRING valueName;
  RtlInitUnicodeString(&valueName, name);
  return ZwSetValueKey(key, &valueName, 0, type, const_cast<void*>(data), size);
}

// The node as a PnP manager leaves it after installing the device:
// Enum\<device id>\<instance>, with its setup class and identifiers.
// SetupAPI lists only nodes written so; without one, Wine's
// IoRegisterDeviceInterface would make a phantom node.
bool writeDeviceNode(const ListedNode& node, Message& problem) {
  Path path;
  path.add(L"\\Registry\\Machine\\System\\CurrentControlSet\\Enum\\");
  const std::uint32_t base = path.length();
  path.add(node.instanceId);
  if (!path.ok()) {
    problem.add("the instance identifier is too long: ").add(node.instanceId.text, node.instanceId.length);
    return false;
  }
  // Each key on the way, then the node's own.
  WCHAR* units = path.units();
  for (std::uint32_t i = base; i <= path.length(); ++i) {
    if (units[i] != L'\\' && units[i] != 0) continue;
    const WCHAR saved = units[i];
    units[i] = 0;
    UNICODE_STRING prefix;
    RtlInitUnicodeString(&prefix, units);
    HANDLE key = nullptr;
    const NTSTATUS status = createKey(prefix, key);
    units[i] = saved;
    if (!NT_SUCCESS(status)) {
      problem.add("cannot create the device node key ").add(prefix).add(": ").hex(static_cast<std::uint32_t>(status));
      return false;
    }
    if (saved != 0) {
      ZwClose(key);
      continue;
    }
    const ULONG zero = 0;
    if (node.setupClass.present()) setValue(key, L"ClassGUID", REG_SZ, node.setupClass.text, node.setupClass.bytesWithNul());
    if (node.className.present()) setValue(key, L"Class", REG_SZ, node.className.text, node.className.bytesWithNul());
    if (node.hardwareIdsBytes != 0) setValue(key, L"HardwareID", REG_MULTI_SZ, node.hardwareIds, node.hardwareIdsBytes);
    if (node.driverDesc.present()) setValue(key, L"DeviceDesc", REG_SZ, node.driverDesc.text, node.driverDesc.bytesWithNul());
    if (node.locationInfo.present())
      setValue(key, L"LocationInformation", REG_SZ, node.locationInfo.text, node.locationInfo.bytesWithNul());
    setValue(key, L"ConfigFlags", REG_DWORD, &zero, sizeof zero);
    ZwClose(key);
  }
  return true;
}

bool setProperty(DEVICE_OBJECT* device, const DEVPROPKEY& key, DEVPROPTYPE type, const void* data, ULONG size,
                 const ListedNode& node, Message& problem) {
  const NTSTATUS status = IoSetDevicePropertyData(device, &key, kLocaleNeutral, PLUGPLAY_PROPERTY_PERSISTENT, type,
                                                  size, const_cast<void*>(data));
  if (NT_SUCCESS(status)) return true;
  problem.add("IoSetDevicePropertyData (property ").number(key.pid).add(") of ")
      .add(node.instanceId.text, node.instanceId.length).add(": ").hex(static_cast<std::uint32_t>(status));
  return false;
}

bool setTextProperty(DEVICE_OBJECT* device, const DEVPROPKEY& key, const Text& text, const ListedNode& node,
                     Message& problem) {
  return !text.present() || setProperty(device, key, kDevPropTypeString, text.text, text.bytesWithNul(), node, problem);
}

// The node's own (unnamed) device object, through which its properties are
// stored: Wine keeps them under the node's Properties key, where
// SetupDiGetDevicePropertyW reads them.
bool presentNode(DRIVER_OBJECT* driver, const ListedNode& node, Message& problem) {
  if (!writeDeviceNode(node, problem)) return false;
  DEVICE_OBJECT* device = nullptr;
  NTSTATUS status = IoCreateDevice(driver, sizeof(ShimDevice), nullptr, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
  if (!NT_SUCCESS(status)) {
    problem.add("IoCreateDevice for the node ").add(node.instanceId.text, node.instanceId.length).add(": ")
        .hex(static_cast<std::uint32_t>(status));
    return false;
  }
  auto* extension = static_cast<ShimDevice*>(device->DeviceExtension);
  *extension = ShimDevice{};
  extension->node = &node;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return setTextProperty(device, kInstanceIdKey, node.instanceId, node, problem) &&
         setTextProperty(device, kParentKey, node.parent, node, problem) &&
         setTextProperty(device, kDriverDescKey, node.driverDesc, node, problem) &&
         setTextProperty(device, kLocationInfoKey, node.locationInfo, node, problem) &&
         (node.hardwareIdsBytes == 0 ||
          setProperty(device, kHardwareIdsKey, kDevPropTypeStringList, node.hardwareIds, node.hardwareIdsBytes, node,
                      problem));
}

bool isDiskName(const ListedName& name) {
  static const WCHAR kDiskInterface[] = L"{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
  static const WCHAR kPhysicalDrive[] = L"\\DosDevices\\PHYSICALDRIVE";
  if (name.node != nullptr)
    return name.interfaceClass.length == 38 && sameTextIgnoringCase(name.interfaceClass.text, kDiskInterface, 38);
  const std::uint32_t prefix = sizeof kPhysicalDrive / sizeof(WCHAR) - 1;
  return name.dosName.length > prefix && sameTextIgnoringCase(name.dosName.text, kPhysicalDrive, prefix);
}

// Holds \??\<entry> open with no sharing, so that every other open of it
// fails with a sharing violation (the runner made the entry a file).
bool holdStagedEntry(ShimDevice& device, const WCHAR* entry, std::uint32_t length, Message& problem) {
  Path path;
  path.add(L"\\??\\").add(entry, length);
  UNICODE_STRING name = path.string();
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
  IO_STATUS_BLOCK io;
  const NTSTATUS status =
      ZwCreateFile(&device.held, GENERIC_READ | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                   /*ShareAccess=*/0, FILE_OPEN, FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (NT_SUCCESS(status)) return true;
  device.held = nullptr;
  problem.add("cannot hold the staged entry ").add(name).add(" for a sharing violation: ").hex(static_cast<std::uint32_t>(status));
  return false;
}

bool presentInterface(DEVICE_OBJECT* device, ShimDevice& extension, Message& problem) {
  const ListedName& name = *extension.name;
  UNICODE_STRING classText = stringOf(name.interfaceClass);
  GUID interfaceClass;
  if (!NT_SUCCESS(RtlGUIDFromString(&classText, &interfaceClass))) {
    problem.add("not an interface class GUID: ").add(classText);
    return false;
  }
  NTSTATUS status = IoRegisterDeviceInterface(device, &interfaceClass, nullptr, &extension.interfaceLink);
  if (!NT_SUCCESS(status)) {
    problem.add("IoRegisterDeviceInterface for ").add(name.interfacePath.text, name.interfacePath.length).add(": ")
        .hex(static_cast<std::uint32_t>(status));
    return false;
  }
  // Wine builds the link from the instance identifier; the program opens it
  // by the path SetupAPI derives from the same text. Past "\??\" and
  // "\\?\" the two must agree but for case, or the program would open
  // another name than the machine's.
  const UNICODE_STRING& link = extension.interfaceLink;
  const std::uint32_t linkLength = link.Length / sizeof(WCHAR);
  if (linkLength != name.interfacePath.length || linkLength < 4 ||
      !sameTextIgnoringCase(link.Buffer + 4, name.interfacePath.text + 4, linkLength - 4)) {
    problem.add("Wine names the interface ").add(link).add(", the machine ")
        .add(name.interfacePath.text, name.interfacePath.length);
    return false;
  }
  status = IoSetDeviceInterfaceState(&extension.interfaceLink, TRUE);
  if (!NT_SUCCESS(status)) {
    problem.add("IoSetDeviceInterfaceState for ").add(link).add(": ").hex(static_cast<std::uint32_t>(status));
    return false;
  }
  extension.interfaceEnabled = true;
  if (name.refused == 0) return true;
  // SetupAPI still lists the interface (it reads the registry); the open
  // goes to the staged entry instead of the shim.
  IoDeleteSymbolicLink(&extension.interfaceLink);
  return name.refused != kErrorSharingViolation || holdStagedEntry(extension, link.Buffer + 4, linkLength - 4, problem);
}

bool presentDosName(ShimDevice& extension, UNICODE_STRING deviceName, Message& problem) {
  const ListedName& name = *extension.name;
  if (name.refused != 0) {
    static const WCHAR kDosDevices[] = L"\\DosDevices\\";
    const std::uint32_t prefix = sizeof kDosDevices / sizeof(WCHAR) - 1;
    if (name.refused != kErrorSharingViolation) return true;
    if (name.dosName.length <= prefix) {
      problem.add("a DOS name outside \\DosDevices: ").add(name.dosName.text, name.dosName.length);
      return false;
    }
    return holdStagedEntry(extension, name.dosName.text + prefix, name.dosName.length - prefix, problem);
  }
  UNICODE_STRING link = stringOf(name.dosName);
  NTSTATUS status = IoCreateSymbolicLink(&link, &deviceName);
  if (!NT_SUCCESS(status)) {
    // Wine's mount manager names the prefix's own disk \\.\PhysicalDrive0;
    // on the simulated machine the number is the machine's.
    IoDeleteSymbolicLink(&link);
    status = IoCreateSymbolicLink(&link, &deviceName);
  }
  if (!NT_SUCCESS(status)) {
    problem.add("IoCreateSymbolicLink ").add(link).add(": ").hex(static_cast<std::uint32_t>(status));
    return false;
  }
  extension.dosLinked = true;
  return true;
}

bool presentName(DRIVER_OBJECT* driver, const ListedName& name, Message& problem) {
  Path deviceName;
  deviceName.add(L"\\Device\\KoaDeviceShim").number(name.index);
  UNICODE_STRING objectName = deviceName.string();
  DEVICE_OBJECT* device = nullptr;
  const NTSTATUS status = IoCreateDevice(driver, sizeof(ShimDevice), &objectName,
                                         isDiskName(name) ? FILE_DEVICE_DISK : FILE_DEVICE_CONTROLLER, 0, FALSE, &device);
  if (!NT_SUCCESS(status)) {
    problem.add("IoCreateDevice ").add(objectName).add(": ").hex(static_cast<std::uint32_t>(status));
    return false;
  }
  auto* extension = static_cast<ShimDevice*>(device->DeviceExtension);
  *extension = ShimDevice{};
  extension->node = name.node;
  extension->name = &name;
  device->Flags |= DO_BUFFERED_IO;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return name.node != nullptr ? presentInterface(device, *extension, problem)
                              : presentDosName(*extension, objectName, problem);
}

}  // namespace

bool presentDevices(DRIVER_OBJECT* driver, const DeviceList& list, Message& problem) {
  for (std::uint32_t i = 0; i < list.nodeCount; ++i)
    if (!presentNode(driver, list.nodes[i], problem)) return false;
  for (std::uint32_t i = 0; i < list.nameCount; ++i)
    if (!presentName(driver, list.names[i], problem)) return false;
  return true;
}

void removeDevices(DRIVER_OBJECT* driver) {
  DEVICE_OBJECT* next = nullptr;
  for (DEVICE_OBJECT* device = driver->DeviceObject; device != nullptr; device = next) {
    next = device->NextDevice;
    auto* extension = static_cast<ShimDevice*>(device->DeviceExtension);
    if (extension->interfaceEnabled) IoSetDeviceInterfaceState(&extension->interfaceLink, FALSE);
    if (extension->interfaceLink.Buffer != nullptr) RtlFreeUnicodeString(&extension->interfaceLink);
    if (extension->dosLinked) {
      UNICODE_STRING link = stringOf(extension->name->dosName);
      IoDeleteSymbolicLink(&link);
    }
    if (extension->held != nullptr) ZwClose(extension->held);
    IoDeleteDevice(device);
  }
}

WCHAR* queryId(const ShimDevice& device, BUS_QUERY_ID_TYPE type) {
  if (device.node == nullptr || (type != BusQueryDeviceID && type != BusQueryInstanceID)) return nullptr;
  const Text& id = device.node->instanceId;
  std::uint32_t split = id.length;
  while (split > 0 && id.text[split - 1] != L'\\') --split;
  if (split == 0) return nullptr;
  const WCHAR* start = type == BusQueryDeviceID ? id.text : id.text + split;
  const std::uint32_t length = type == BusQueryDeviceID ? split - 1 : id.length - split;
  auto* answer = static_cast<WCHAR*>(ExAllocatePool(PagedPool, (length + 1) * sizeof(WCHAR)));
  if (answer == nullptr) return nullptr;
  for (std::uint32_t i = 0; i < length; ++i) answer[i] = start[i];
  answer[length] = 0;
  return answer;
}

}  // namespace koa::shim
