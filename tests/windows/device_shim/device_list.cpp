#include "device_list.h"

#include "sim/host/shim_protocol.h"

namespace koa::shim {

namespace {

struct Field {
  Tag tag;
  const std::uint8_t* units;  // little-endian UTF-16, not aligned
  std::uint16_t length;       // in units
};

// Walks the fields of the list; false at the first one that runs past the
// end.
class FieldReader {
 public:
  FieldReader(const std::uint8_t* bytes, std::uint32_t length) : bytes_(bytes), length_(length) {}
  bool next(Field& field) {
    if (offset_ == length_ || length_ - offset_ < kFieldHeaderSize) return false;
    field.tag = static_cast<Tag>(get16(bytes_ + offset_));
    field.length = get16(bytes_ + offset_ + 2);
    const std::uint32_t size = kFieldHeaderSize + field.length * 2u;
    if (size > length_ - offset_) return false;
    field.units = bytes_ + offset_ + kFieldHeaderSize;
    offset_ += size;
    return true;
  }
  [[nodiscard]] bool atEnd() const { return offset_ == length_; }

 private:
  const std::uint8_t* bytes_;
  std::uint32_t length_;
  std::uint32_t offset_ = 0;
};

std::uint32_t numberOf(const Field& field) {
  return field.length == 2 ? static_cast<std::uint32_t>(get16(field.units)) | static_cast<std::uint32_t>(get16(field.units + 2)) << 16
                           : 0xFFFFFFFFu;
}

// Bump allocation of NUL-terminated copies out of the list's block.
class TextArea {
 public:
  TextArea(WCHAR* start, std::uint32_t capacity) : cursor_(start), left_(capacity) {}
  bool copy(const Field& field, Text& text) {
    if (field.length + 1u > left_) return false;
    for (std::uint16_t i = 0; i < field.length; ++i) cursor_[i] = static_cast<WCHAR>(get16(field.units + 2 * i));
    cursor_[field.length] = 0;
    text.text = cursor_;
    text.length = field.length;
    cursor_ += field.length + 1;
    left_ -= field.length + 1u;
    return true;
  }
  // Appends one string to the REG_MULTI_SZ that starts at `start` (null:
  // a new one), keeping the list's final NUL behind it. The strings of one
  // list must be copied one after the other.
  bool appendMultiString(const Field& field, const WCHAR*& start, ULONG& bytes) {
    if (start == nullptr) {
      start = cursor_;
    } else {
      --cursor_;  // over the final NUL of the list so far
      ++left_;
    }
    Text ignored;
    if (!copy(field, ignored) || left_ < 1) return false;
    *cursor_++ = 0;
    --left_;
    bytes = static_cast<ULONG>(cursor_ - start) * sizeof(WCHAR);
    return true;
  }

 private:
  WCHAR* cursor_;
  std::uint32_t left_;
};

}  // namespace

bool readDeviceList(const std::uint8_t* bytes, std::uint32_t length, DeviceList& list, Message& problem) {
  list = DeviceList{};
  std::uint32_t fields = 0;
  Field field;
  FieldReader counter(bytes, length);
  while (counter.next(field)) {
    ++fields;
    if (field.tag == Tag::Node) ++list.nodeCount;
    if (field.tag == Tag::Name) ++list.nameCount;
  }
  if (!counter.atEnd()) {
    problem.add("the device list ends inside a field");
    return false;
  }
  // Every copy needs its units plus one NUL; a multi-string one more.
  const std::uint32_t textUnits = length / 2 + 2 * fields + 2;
  const SIZE_T size = list.nodeCount * sizeof(ListedNode) + list.nameCount * sizeof(ListedName) + textUnits * sizeof(WCHAR);
  list.storage = ExAllocatePoolWithTag(NonPagedPool, size, kPoolTag);
  if (list.storage == nullptr) {
    problem.add("no memory for the device list");
    return false;
  }
  RtlZeroMemory(list.storage, size);
  list.nodes = static_cast<ListedNode*>(list.storage);
  list.names = reinterpret_cast<ListedName*>(list.nodes + list.nodeCount);
  TextArea area(reinterpret_cast<WCHAR*>(list.names + list.nameCount), textUnits);

  ListedNode* node = nullptr;
  ListedName* name = nullptr;
  std::uint32_t nodes = 0;
  std::uint32_t names = 0;
  bool ok = true;
  Tag previous = Tag::Node;
  FieldReader reader(bytes, length);
  while (ok && reader.next(field)) {
    switch (field.tag) {
      case Tag::Node:
        node = &list.nodes[nodes++];
        node->index = numberOf(field);
        name = nullptr;
        break;
      case Tag::Name:
        name = &list.names[names++];
        name->index = numberOf(field);
        node = nullptr;
        break;
      case Tag::InstanceId: ok = node != nullptr && area.copy(field, node->instanceId); break;
      case Tag::Parent: ok = node != nullptr && area.copy(field, node->parent); break;
      case Tag::DriverDesc: ok = node != nullptr && area.copy(field, node->driverDesc); break;
      case Tag::LocationInfo: ok = node != nullptr && area.copy(field, node->locationInfo); break;
      case Tag::SetupClass: ok = node != nullptr && area.copy(field, node->setupClass); break;
      case Tag::ClassName: ok = node != nullptr && area.copy(field, node->className); break;
      case Tag::HardwareId:
        ok = node != nullptr && (node->hardwareIds == nullptr || previous == Tag::HardwareId) &&
             area.appendMultiString(field, node->hardwareIds, node->hardwareIdsBytes);
        break;
      case Tag::NameNode: {
        ok = name != nullptr;
        const std::uint32_t index = numberOf(field);
        for (std::uint32_t i = 0; ok && i < nodes; ++i)
          if (list.nodes[i].index == index) name->node = &list.nodes[i];
        ok = ok && name->node != nullptr;
        break;
      }
      case Tag::InterfaceClass: ok = name != nullptr && area.copy(field, name->interfaceClass); break;
      case Tag::InterfacePath: ok = name != nullptr && area.copy(field, name->interfacePath); break;
      case Tag::DosName: ok = name != nullptr && area.copy(field, name->dosName); break;
      case Tag::Refused:
        ok = name != nullptr;
        if (ok) name->refused = numberOf(field);
        break;
      default: ok = false; break;
    }
    previous = field.tag;
  }
  for (std::uint32_t i = 0; ok && i < nodes; ++i) ok = list.nodes[i].instanceId.present();
  for (std::uint32_t i = 0; ok && i < names; ++i)
    ok = list.names[i].node != nullptr ? list.names[i].interfaceClass.present() : list.names[i].dosName.present();
  if (!ok) {
    problem.add("the device list has a field out of place, a name without its node or link, or a node without ")
        .add("an instance identifier");
    freeDeviceList(list);
    return false;
  }
  return true;
}

void freeDeviceList(DeviceList& list) {
  if (list.storage != nullptr) ExFreePoolWithTag(list.storage, kPoolTag);
  list = DeviceList{};
}

}  // namespace koa::shim
