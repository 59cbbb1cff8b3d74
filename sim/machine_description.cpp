#include "sim/machine_description.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <cstdio>
#include <set>

#include "sim/strict_json.h"
#include "sim/unanswering_device.h"
#include "sim/wide_text.h"

namespace koa::sim {

namespace {

constexpr std::uint32_t kMaxScsiPort = 255;

const std::vector<std::string>& knownKinds() {
  static const std::vector<std::string> kinds = {
      "storage.deviceNumber", "storage.identify", "inbox.getInfo",    "inbox.download",        "inbox.activate",
      "csmi.raidConfig",      "irst.identify",    "irst.getLogPage",  "irst.download",         "irst.activate",
      "vroc.volumeCount",     "vroc.passThroughCount", "vroc.volumeInfo", "vroc.memberList", "vroc.passThroughList",
      "vroc.identify",        "vroc.getLogPage",  "vroc.download",    "vroc.commit",           "unknown"};
  return kinds;
}

LocalTime parseClock(const JsonField& field) {
  const std::string text = field.string();
  LocalTime t{};
  char separator = 0;
  int consumed = 0;
  const int matched = std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &t.year, &t.month, &t.day, &separator,
                                  &t.hour, &t.minute, &t.second, &consumed);
  const bool valid = matched == 7 && consumed == static_cast<int>(text.size()) && text.size() == 19 &&
                     (separator == 'T' || separator == ' ') && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
                     t.day <= 31 && t.hour <= 23 && t.minute <= 59 && t.second <= 60 && t.year >= 1601;
  if (!valid) field.fail("expected a local time \"YYYY-MM-DDTHH:MM:SS\"");
  return t;
}

std::u16string wideText(const JsonField& field, bool allowEmpty = true) {
  const std::string text = field.string();
  if (!allowEmpty && text.empty()) field.fail("must not be empty");
  return toUtf16(text);
}

// A host name as Windows accepts one for a machine: one DNS label.
std::u16string computerName(const JsonField& field) {
  const std::string text = field.string();
  bool valid = !text.empty() && text.size() <= 63;
  for (char c : text)
    valid = valid && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-');
  if (!valid) field.fail("expected 1 to 63 letters, digits and '-'");
  return toUtf16(text);
}

Guid interfaceClass(const JsonField& field) {
  const std::string name = field.string();
  if (name == "disk") return GUID_DEVINTERFACE_DISK;
  if (name == "storagePort") return GUID_DEVINTERFACE_STORAGEPORT;
  field.fail("expected \"disk\" or \"storagePort\"");
}

// Host directories are absolute paths of the machine running the
// simulator; Windows names are kept as given and matched without regard to
// case.
FileSystemDescription loadFileSystem(const JsonField& field) {
  field.allowOnly({"comment", "volumes", "shares", "subst", "mapped", "pipes", "currentDirectory"});
  FileSystemDescription files;
  files.present = true;
  const auto driveLetter = [](const std::string& name, const JsonField& at) {
    if (name.size() != 2 || name[1] != ':' || !std::isalpha(static_cast<unsigned char>(name[0])))
      at.fail("expected a drive letter such as \"C:\"");
    return toUtf16(name);
  };
  const auto shareName = [](const std::string& name, const JsonField& at) {
    const std::size_t server = name.find('\\', 2);
    if (name.rfind("\\\\", 0) != 0 || server == std::string::npos || server == 2 || server + 1 >= name.size() ||
        name.find('\\', server + 1) != std::string::npos)
      at.fail("expected a share such as \\\\server\\share");
    return toUtf16(name);
  };
  const auto hostDirectory = [](const JsonField& at) {
    const std::filesystem::path path(at.string());
    if (!path.is_absolute()) at.fail("expected an absolute path of the host");
    return path;
  };
  if (auto volumes = field.optional("volumes"))
    for (const auto& [name, value] : volumes->members()) files.volumes[driveLetter(name, value)] = hostDirectory(value);
  if (auto shares = field.optional("shares"))
    for (const auto& [name, value] : shares->members()) files.shares[shareName(name, value)] = hostDirectory(value);
  if (auto subst = field.optional("subst"))
    for (const auto& [name, value] : subst->members()) files.subst[driveLetter(name, value)] = toUtf16(value.string());
  if (auto mapped = field.optional("mapped"))
    for (const auto& [name, value] : mapped->members())
      files.mapped[driveLetter(name, value)] = shareName(value.string(), value);
  if (auto pipes = field.optional("pipes"))
    for (const auto& pipe : pipes->items()) files.pipes.push_back(toUtf16(pipe.string()));
  files.currentDirectory = toUtf16(field.stringOr("currentDirectory", ""));
  return files;
}

class Loader {
 public:
  explicit Loader(const nlohmann::json& document) : root_(document, "") {}

  MachineDescription load() {
    root_.allowOnly({"$schema", "comment", "clock", "computerName", "elevated", "windowStationVisible", "drives", "devices",
                     "scsiPorts", "faults", "mutexes", "fileSystem"});
    machine_.source = root_.json();
    if (auto clock = root_.optional("clock")) machine_.clock = parseClock(*clock);
    if (auto name = root_.optional("computerName")) machine_.computerName = computerName(*name);
    machine_.elevated = root_.booleanOr("elevated", true);
    machine_.windowStationVisible = root_.booleanOr("windowStationVisible", true);
    if (auto files = root_.optional("fileSystem")) machine_.fileSystem = loadFileSystem(*files);
    if (auto drives = root_.optional("drives"))
      for (const auto& [name, description] : drives->members()) {
        if (name.empty()) description.fail("a drive needs a name");
        machine_.drives[name] = std::make_shared<NvmeDrive>(NvmeDrive::fromDescription(description));
      }
    if (auto devices = root_.optional("devices")) {
      const auto items = devices->items();
      for (std::size_t i = 0; i < items.size(); ++i) loadDevice(items[i], i);
      checkParents(items);
    }
    if (auto ports = root_.optional("scsiPorts")) {
      const auto items = ports->items();
      for (std::size_t i = 0; i < items.size(); ++i) loadScsiPort(items[i], i);
    }
    if (auto faults = root_.optional("faults"))
      for (const auto& fault : faults->items()) loadFault(fault);
    if (auto mutexes = root_.optional("mutexes"))
      for (const auto& mutex : mutexes->items()) loadMutex(mutex);
    return std::move(machine_);
  }

 private:
  void loadMutex(const JsonField& m) {
    m.allowOnly({"comment", "name", "madeBy", "state"});
    NamedMutex mutex;
    mutex.name = wideText(m["name"], false);
    for (const NamedMutex& other : machine_.mutexes)
      if (foldCase(other.name) == foldCase(mutex.name)) m["name"].fail("another mutex has this name");
    if (auto madeBy = m.optional("madeBy")) {
      const std::string text = madeBy->string();
      if (text != "administrator" && text != "standardUser")
        madeBy->fail("expected \"administrator\" or \"standardUser\"");
      mutex.madeByAdministrator = text == "administrator";
    }
    const JsonField stateField = m["state"];
    const std::string state = stateField.string();
    if (state == "held")
      mutex.state = MutexState::Held;
    else if (state == "abandoned")
      mutex.state = MutexState::Abandoned;
    else if (state == "free")
      mutex.state = MutexState::Free;
    else
      stateField.fail("expected \"held\", \"abandoned\" or \"free\"");
    machine_.mutexes.push_back(std::move(mutex));
  }

  std::size_t addTarget(std::shared_ptr<SimDevice> device, std::string section) {
    DeviceTarget target;
    target.device = std::move(device);
    target.section = std::move(section);
    machine_.targets.push_back(std::move(target));
    return machine_.targets.size() - 1;
  }

  void addPath(const JsonField& field, const std::u16string& path, std::size_t target) {
    if (!machine_.paths.emplace(normalisedDevicePath(path), target).second)
      field.fail("the path \"" + toUtf8(path) + "\" is used twice");
    if (machine_.targets[target].label.empty()) machine_.targets[target].label = path;
  }

  void loadDevice(const JsonField& d, std::size_t index) {
    d.allowOnly({"comment", "instanceId", "parent", "hardwareIds", "driverDesc", "locationInfo", "present",
                 "interfaces", "disk", "irst"});
    DeviceNode node;
    const JsonField idField = d["instanceId"];
    node.instanceId = wideText(idField, false);
    if (!instanceIds_.insert(foldCase(node.instanceId)).second)
      idField.fail("another device node has the instance identifier \"" + toUtf8(node.instanceId) + "\"");
    if (auto parent = d.optional("parent")) node.parent = wideText(*parent, false);
    if (auto ids = d.optional("hardwareIds"))
      for (const auto& id : ids->items()) node.hardwareIds.push_back(wideText(id, false));
    if (auto text = d.optional("driverDesc")) node.driverDesc = wideText(*text);
    if (auto text = d.optional("locationInfo")) node.locationInfo = wideText(*text);
    node.present = d.booleanOr("present", true);
    node.devInst = kFirstDevInst + static_cast<std::uint32_t>(index);

    if (d.has("disk") && d.has("irst")) d["irst"].fail("a device node has at most one of \"disk\" and \"irst\"");
    std::shared_ptr<SimDevice> device;
    std::string section;
    if (auto disk = d.optional("disk")) {
      const JsonField numberField = (*disk)["deviceNumber"];
      const auto number = static_cast<std::uint32_t>(numberField.unsignedInteger(0xFFFFFFFEu));
      if (!diskNumbers_.insert(number).second)
        numberField.fail("another disk has the device number " + std::to_string(number));
      node.diskNumber = number;
      device = makeInboxDisk(*disk, machine_.drives);
      section = "disk";
    } else if (auto irst = d.optional("irst")) {
      device = makeIrstController(*irst, machine_.drives);
      section = "irst";
    }
    std::vector<std::pair<JsonField, std::u16string>> paths;
    if (auto interfaces = d.optional("interfaces"))
      for (const auto& entry : interfaces->items()) {
        entry.allowOnly({"class", "path"});
        DeviceInterface itf;
        itf.classGuid = interfaceClass(entry["class"]);
        const JsonField pathField = entry["path"];
        itf.path = wideText(pathField, false);
        if (itf.path.rfind(u"\\\\?\\", 0) != 0) pathField.fail("an interface path starts with \\\\?\\");
        if (node.setupClass == Guid{})
          node.setupClass = itf.classGuid == GUID_DEVINTERFACE_DISK ? kDiskDriveSetupClass : kScsiAdapterSetupClass;
        node.interfaces.push_back(itf);
        paths.emplace_back(pathField, itf.path);
      }
    if (device || !node.interfaces.empty()) {
      node.target = addTarget(device ? std::move(device) : std::make_shared<UnansweringDevice>(), section);
      machine_.targets[*node.target].deviceNode = index;
      if (node.present) {
        for (const auto& [field, path] : paths) addPath(field, path, *node.target);
        if (node.diskNumber)
          addPath(d["disk"]["deviceNumber"], u"\\\\.\\PHYSICALDRIVE" + toUtf16(std::to_string(*node.diskNumber)),
                  *node.target);
      }
    }
    machine_.devices.push_back(std::move(node));
  }

  void checkParents(const std::vector<JsonField>& items) {
    for (std::size_t i = 0; i < items.size(); ++i) {
      const auto& parent = machine_.devices[i].parent;
      if (!parent) continue;
      if (!instanceIds_.contains(foldCase(*parent)))
        items[i]["parent"].fail("no device node has the instance identifier \"" + toUtf8(*parent) + "\"");
      if (foldCase(*parent) == foldCase(machine_.devices[i].instanceId))
        items[i]["parent"].fail("a device node cannot be its own parent");
    }
  }

  void loadScsiPort(const JsonField& p, std::size_t entry) {
    p.allowOnly({"comment", "port", "vroc"});
    const JsonField portField = p["port"];
    const auto port = static_cast<std::uint32_t>(portField.unsignedInteger(kMaxScsiPort));
    std::shared_ptr<SimDevice> device;
    std::string section;
    if (auto vroc = p.optional("vroc")) {
      device = makeVrocPort(*vroc, machine_.drives);
      section = "vroc";
    } else {
      device = std::make_shared<UnansweringDevice>();
    }
    const std::size_t target = addTarget(std::move(device), section);
    machine_.targets[target].isScsiPort = true;
    machine_.targets[target].scsiPort = port;
    machine_.targets[target].scsiPortEntry = entry;
    addPath(portField, u"\\\\.\\Scsi" + toUtf16(std::to_string(port)) + u":", target);
  }

  std::size_t targetOfPath(const JsonField& field) {
    auto it = machine_.paths.find(normalisedDevicePath(toUtf16(field.string())));
    if (it == machine_.paths.end()) field.fail("no present device is reached by this path");
    return it->second;
  }

  void loadFault(const JsonField& f) {
    Fault fault;
    fault.jsonPath = f.path();
    const JsonField actionField = f["action"];
    const std::string action = actionField.string();
    fault.nth = static_cast<std::uint32_t>(f.unsignedOr("nth", 0xFFFFFFFFu, 0));
    if (f.has("nth") && fault.nth == 0) f["nth"].fail("counts from 1 (leave it out for every one)");
    if (f.has("call")) {
      loadCallFault(f, action, std::move(fault));
      return;
    }
    if (action == "failOpen") {
      f.allowOnly({"comment", "action", "path", "nth", "error"});
      fault.action = FaultAction::FailOpen;
      fault.target = targetOfPath(f["path"]);
      fault.error = static_cast<std::uint32_t>(f["error"].unsignedInteger(0xFFFFFFFFu));
      machine_.faults.push_back(std::move(fault));
      return;
    }
    const JsonField kindField = f["request"];
    fault.request = kindField.string();
    const auto& kinds = knownRequestKinds();
    if (std::find(kinds.begin(), kinds.end(), fault.request) == kinds.end())
      kindField.fail("not a request kind the simulated drivers name");
    fault.target = targetOfPath(f["device"]);
    if (auto drive = f.optional("drive")) {
      fault.drive = drive->string();
      if (!machine_.drives.contains(fault.drive)) drive->fail("no drive named \"" + fault.drive + "\" in /drives");
    }
    if (action == "fail") {
      f.allowOnly({"comment", "action", "device", "request", "drive", "nth", "error"});
      fault.action = FaultAction::Fail;
      fault.error = static_cast<std::uint32_t>(f["error"].unsignedInteger(0xFFFFFFFFu));
    } else if (action == "returnCode") {
      f.allowOnly({"comment", "action", "device", "request", "drive", "nth", "returnCode"});
      fault.action = FaultAction::ReturnCode;
      fault.value = static_cast<std::uint32_t>(f["returnCode"].unsignedInteger(0xFFFFFFFFu));
    } else if (action == "completionStatus") {
      f.allowOnly({"comment", "action", "device", "request", "drive", "nth", "status"});
      fault.action = FaultAction::CompletionStatus;
      fault.value = static_cast<std::uint32_t>(f["status"].unsignedInteger(0x7FFF));
      // Only the NVMe pass-through has a completion entry; on any other
      // request the fault would be a bare ReturnCode of 0, a success that
      // never reached the driver.
      if (fault.request != "vroc.identify" && fault.request != "vroc.getLogPage" && fault.request != "vroc.download" &&
          fault.request != "vroc.commit")
        kindField.fail(
            "a completion status answers only vroc.identify, vroc.getLogPage, vroc.download and vroc.commit");
    } else if (action == "patch") {
      f.allowOnly({"comment", "action", "device", "request", "drive", "nth", "offset", "hex"});
      fault.action = FaultAction::Patch;
      fault.offset = static_cast<std::uint32_t>(f["offset"].unsignedInteger(0xFFFFFFFFu));
      fault.bytes = f["hex"].hexBytes();
      if (fault.bytes.empty()) f["hex"].fail("must not be empty");
    } else if (action == "output") {
      f.allowOnly({"comment", "action", "device", "request", "drive", "nth", "hex"});
      fault.action = FaultAction::Output;
      fault.bytes = f["hex"].hexBytes();
    } else if (action == "hold") {
      f.allowOnly({"comment", "action", "device", "request", "drive", "nth"});
      fault.action = FaultAction::Hold;
    } else {
      actionField.fail(
          "expected \"failOpen\", \"fail\", \"returnCode\", \"completionStatus\", \"patch\", \"output\" or "
          "\"hold\"");
    }
    machine_.faults.push_back(std::move(fault));
  }

  // A fault on the k-th platform call, whatever it is: "fail" fails any call
  // that can fail; "returnCode" and "completionStatus" answer a
  // DeviceIoControl as the device-bound faults do.
  void loadCallFault(const JsonField& f, const std::string& action, Fault fault) {
    fault.call = static_cast<std::uint32_t>(f["call"].unsignedInteger(0xFFFFFFFFu));
    if (fault.call == 0) f["call"].fail("counts from 1, as the trace's seq");
    if (action == "fail") {
      f.allowOnly({"comment", "action", "call", "error"});
      fault.action = FaultAction::Fail;
      fault.error = static_cast<std::uint32_t>(f["error"].unsignedInteger(0xFFFFFFFFu));
    } else if (action == "returnCode") {
      f.allowOnly({"comment", "action", "call", "returnCode"});
      fault.action = FaultAction::ReturnCode;
      fault.value = static_cast<std::uint32_t>(f["returnCode"].unsignedInteger(0xFFFFFFFFu));
    } else if (action == "completionStatus") {
      f.allowOnly({"comment", "action", "call", "status"});
      fault.action = FaultAction::CompletionStatus;
      fault.value = static_cast<std::uint32_t>(f["status"].unsignedInteger(0x7FFF));
    } else {
      f["action"].fail("expected \"fail\", \"returnCode\" or \"completionStatus\" for a fault on a call");
    }
    machine_.faults.push_back(std::move(fault));
  }

  JsonField root_;
  MachineDescription machine_;
  std::set<std::u16string> instanceIds_;
  std::set<std::uint32_t> diskNumbers_;
};

}  // namespace

const std::vector<std::string>& knownRequestKinds() { return knownKinds(); }

std::u16string normalisedDevicePath(std::u16string_view path) {
  std::u16string text(path);
  if (text.rfind(u"\\\\?\\", 0) == 0) text[2] = u'.';
  return foldCase(text);
}

MachineDescription loadMachineDescription(const nlohmann::json& document) { return Loader(document).load(); }

std::optional<MachineDescription> parseMachineDescription(std::string_view text, const std::string& sourceName,
                                                          std::string& error) {
  try {
    return loadMachineDescription(parseStrictJson(text));
  } catch (const DescriptionError& e) {
    error = sourceName + ": " + e.what();
  } catch (const std::exception& e) {
    // A driver factory that failed in a way of its own: still no crash.
    error = sourceName + ": " + e.what();
  }
  return std::nullopt;
}

}  // namespace koa::sim
