#include "tests/support/irst_machine.h"

namespace koa::test {

IrstMachine::IrstMachine() {
  doc_ = {{"clock", "2026-12-08T14:30:05"}, {"drives", nlohmann::json::object()},
          {"devices", nlohmann::json::array()}, {"faults", nlohmann::json::array()}};
}

IrstMachine& IrstMachine::drive(const std::string& name, const std::string& serial, const std::string& revision,
                                const std::string& activation, int fwug) {
  doc_["drives"][name] = {{"serialNumber", serial},
                          {"modelNumber", "KOA NVMe SSD 1TB"},
                          {"firmwareRevision", revision},
                          {"pciVendorId", "0xD5A7"},
                          {"version", {{"major", 1u}, {"minor", 3u}}},
                          {"fwug", static_cast<unsigned>(fwug)},
                          {"activation", activation},
                          {"slots", {{{"number", 1u}, {"readOnly", true}, {"revision", "GXB1LTMW"}},
                                     {{"number", 2u}, {"revision", revision}}}},
                          {"activeSlot", 2u}};
  return *this;
}

IrstMachine& IrstMachine::storagePort(const std::string& instanceId, const std::string& path,
                                      const std::string& description) {
  doc_["devices"].push_back({{"instanceId", instanceId},
                             {"driverDesc", description},
                             {"interfaces", {{{"class", "storagePort"}, {"path", path}}}}});
  return *this;
}

IrstMachine& IrstMachine::controller(const std::string& path, const std::string& description) {
  controllerIndex_ = doc_["devices"].size();
  doc_["devices"].push_back({{"instanceId", kIntelControllerId},
                             {"driverDesc", description},
                             {"interfaces", {{{"class", "storagePort"}, {"path", path}}}},
                             {"irst", {{"drives", nlohmann::json::array()}}}});
  return *this;
}

IrstMachine& IrstMachine::irstDrive(int pathId, const std::string& name, int raidSet) {
  nlohmann::json entry = {{"pathId", static_cast<unsigned>(pathId)}, {"drive", name}};
  if (raidSet >= 0) entry["raidSet"] = static_cast<unsigned>(raidSet);
  doc_["devices"][controllerIndex_]["irst"]["drives"].push_back(entry);
  return *this;
}

std::string IrstMachine::diskPath(const std::string& suffix) {
  return "\\\\?\\scsi#disk&" + suffix + "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
}

IrstMachine& IrstMachine::raidVolume(const std::string& suffix) {
  doc_["devices"].push_back({{"instanceId", "SCSI\\DISK&VEN_INTEL&PROD_RAID_1_VOLUME\\" + suffix},
                             {"parent", kIntelControllerId},
                             {"locationInfo", "Bus Number 0, Target Id 1, LUN 0"},
                             {"interfaces", {{{"class", "disk"}, {"path", diskPath(suffix)}}}}});
  return *this;
}

IrstMachine& IrstMachine::nonRaidDisk(const std::string& suffix, const std::string& location) {
  nlohmann::json node = {{"instanceId", "SCSI\\DISK&VEN_NVME&PROD_KOA_NVME_SSD\\" + suffix},
                         {"parent", kIntelControllerId},
                         {"interfaces", {{{"class", "disk"}, {"path", diskPath(suffix)}}}}};
  if (!location.empty()) node["locationInfo"] = location;
  doc_["devices"].push_back(node);
  return *this;
}

IrstMachine& IrstMachine::inboxDisk(const std::string& suffix, const std::string& driveName, int deviceNumber) {
  const std::string parentId = "PCI\\VEN_D5A7&DEV_5016&SUBSYS_5016D5A7&REV_01\\4&" + suffix;
  doc_["devices"].push_back({{"instanceId", parentId}, {"driverDesc", "Standard NVM Express Controller"}});
  doc_["devices"].push_back(
      {{"instanceId", "SCSI\\DISK&VEN_NVME&PROD_KOA_NVME_SSD_1TB\\" + suffix},
       {"parent", parentId},
       {"hardwareIds", {"SCSI\\DiskNVMe____KOA_NVMe_SSD_1TB", "GenDisk"}},
       {"interfaces", {{{"class", "disk"}, {"path", diskPath("inbox" + suffix)}}}},
       {"disk", {{"deviceNumber", static_cast<unsigned>(deviceNumber)}, {"drive", driveName}}}});
  return *this;
}

IrstMachine& IrstMachine::fault(nlohmann::json fault) {
  if (!fault.contains("device") && !fault.contains("path")) fault["device"] = kIntelControllerPath;
  doc_["faults"].push_back(std::move(fault));
  return *this;
}

}  // namespace koa::test
