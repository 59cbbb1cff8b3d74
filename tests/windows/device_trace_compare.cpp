// koa-device-trace-compare LINUX_TRACE WINE_TRACE: whether the program made
// the same device calls under Wine, through the device shim, as the Linux
// program made on the same machine file (both traces are KOA_SIM_TRACE
// files of the simulated machine).
//
// Compared: every open that reached a device and every device control, in
// order, field by field: the handle, the path (letters
// folded), the share mode and FILE_FLAG_OVERLAPPED of an open; the code,
// sizes, the complete input and output bytes, the bytes returned, the
// result, the request kind, the drive, the fault of a device control; the
// error of every failed call.
//
// Closes are compared apart, as the set of handles closed with their
// results: Wine sends a driver IRP_MJ_CLOSE when the last reference to the
// file goes, and while the driver is still busy with the open the I/O
// manager holds one of its own, so a close can reach the model after
// requests the program made later. (A close that came too early would fail
// the requests after it; a late one that blocked an open would fail the
// open: both differ above.)
//
// Left out, because they never reach a driver under Wine: SetupAPI and the
// other process calls (Wine answers them), opens that failed (Wine's own
// namespace refuses them), the desired access, the creation disposition
// and the file attributes of an open (Wine 8 hands a driver none of them),
// GetLastError calls, and the last error after a successful call (on
// Linux it is what the SetupAPI calls in between left). "seq" differs for
// the same reason.
//
// Prints how many calls agree and exits with 0, or the first difference
// and 1; 2 when a trace cannot be read.
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

constexpr std::uint64_t kFileFlagOverlapped = 0x40000000u;
constexpr std::uint64_t kFileFlagBackupSemantics = 0x02000000u;

bool readDeviceCalls(const std::string& path, std::vector<json>& calls, std::multiset<std::string>& closes) {
  std::ifstream in(path);
  if (!in) {
    std::cerr << "koa-device-trace-compare: cannot read " << path << '\n';
    return false;
  }
  std::string line;
  std::set<std::int64_t> devices;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    json entry = json::parse(line, nullptr, /*allow_exceptions=*/false);
    if (entry.is_discarded() || !entry.contains("op")) {
      std::cerr << "koa-device-trace-compare: " << path << ": not a trace line: " << line.substr(0, 80) << '\n';
      return false;
    }
    const std::string op = entry["op"];
    if (op == "CreateFileW" && entry["result"] == -1) continue;
    // Files (the log and its share's folder) are no device: only devices are
    // opened with OPEN_EXISTING and no FILE_FLAG_BACKUP_SEMANTICS.
    if (op == "CreateFileW" && (entry.value("creationDisposition", 3) != 3 ||
                                (entry.value("flagsAndAttributes", std::uint64_t{0}) & kFileFlagBackupSemantics) != 0))
      continue;
    if (op == "CreateFileW") devices.insert(entry["result"].get<std::int64_t>());
    // Only the closes of device handles: the process token is Wine's own
    // there and the model never sees it.
    if (op == "CloseHandle" && devices.contains(entry["handle"].get<std::int64_t>()))
      closes.insert(json{{"handle", entry["handle"]}, {"result", entry["result"]}, {"lastError", entry["result"] == false ? entry.value("lastError", json()) : json()}}.dump());
    if (op == "CreateFileW" || op == "DeviceIoControl") calls.push_back(std::move(entry));
  }
  return true;
}

std::string folded(const json& text) {
  std::string out = text.is_string() ? text.get<std::string>() : text.dump();
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// The fields of a call that must agree, as one JSON value.
json comparable(const json& call) {
  const std::string op = call["op"];
  json out = {{"op", op}, {"result", call["result"]}};
  if (call["result"] == false) out["lastError"] = call.value("lastError", json());
  if (op == "CreateFileW") {
    out["path"] = folded(call["path"]);
    out["shareMode"] = call["shareMode"];
    out["overlapped"] = (call["flagsAndAttributes"].get<std::uint64_t>() & kFileFlagOverlapped) != 0;
  } else {
    for (const char* field : {"handle", "code", "inSize", "outSize", "input", "output", "bytesReturned", "request",
                              "drive", "fault", "faultAction"})
      out[field] = call.value(field, json());
    out["path"] = folded(call.value("path", json()));
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: koa-device-trace-compare LINUX_TRACE WINE_TRACE\n";
    return 2;
  }
  std::vector<json> linux;
  std::vector<json> wine;
  std::multiset<std::string> linuxCloses;
  std::multiset<std::string> wineCloses;
  if (!readDeviceCalls(argv[1], linux, linuxCloses) || !readDeviceCalls(argv[2], wine, wineCloses)) return 2;
  const std::size_t common = std::min(linux.size(), wine.size());
  for (std::size_t i = 0; i < common; ++i) {
    const json expected = comparable(linux[i]);
    const json actual = comparable(wine[i]);
    if (expected == actual) continue;
    std::cout << "device call " << i + 1 << " differs (Linux seq " << linux[i]["seq"] << ", Wine seq "
              << wine[i]["seq"] << ")\n";
    for (const auto& [field, value] : expected.items())
      if (actual.value(field, json()) != value)
        std::cout << "  " << field << ": Linux " << value.dump().substr(0, 200) << "\n  " << std::string(field.size(), ' ')
                  << "  Wine  " << actual.value(field, json()).dump().substr(0, 200) << '\n';
    return 1;
  }
  if (linux.size() != wine.size()) {
    const bool linuxLonger = linux.size() > wine.size();
    const json& extra = linuxLonger ? linux[common] : wine[common];
    std::cout << (linuxLonger ? "the Linux" : "the Wine") << " trace has " << (linuxLonger ? linux.size() : wine.size()) - common
              << " more device calls, the first: " << comparable(extra).dump().substr(0, 300) << '\n';
    return 1;
  }
  if (linuxCloses != wineCloses) {
    std::cout << "the closes differ\n";
    for (const auto& close : linuxCloses)
      if (!wineCloses.contains(close)) std::cout << "  only on Linux: " << close << '\n';
    for (const auto& close : wineCloses)
      if (!linuxCloses.contains(close)) std::cout << "  only under Wine: " << close << '\n';
    return 1;
  }
  std::cout << common << " opens and device controls and " << linuxCloses.size() << " closes agree\n";
  return 0;
}
