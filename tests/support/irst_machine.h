// Machine descriptions with an Intel RST controller, built drive by drive
// and device by device for the end-to-end runs of the program.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace koa::test {

inline const std::string kIntelControllerId = "PCI\\VEN_8086&DEV_282A&SUBSYS_86961043&REV_20\\3&11583659&0&B8";
inline const std::string kIntelControllerPath =
    "\\\\?\\pci#ven_8086&dev_282a&subsys_86961043&rev_20#3&11583659&0&b8#{2accfe60-c130-11d2-b082-00a0c91efb8b}";
inline const std::string kRstDescription = "Intel(R) Chipset SATA/PCIe RST Premium Controller";

class IrstMachine {
 public:
  IrstMachine();

  // One of the maker's drives; activation "immediate" or "reset".
  IrstMachine& drive(const std::string& name, const std::string& serial, const std::string& revision,
                     const std::string& activation = "immediate", int fwug = 1);
  // A storage port that is not the RST controller (comes before it).
  IrstMachine& storagePort(const std::string& instanceId, const std::string& path, const std::string& description);
  // The Intel controller with its IRST section; drives: {pathId, name, raidSet or -1}.
  IrstMachine& controller(const std::string& path, const std::string& description);
  IrstMachine& irstDrive(int pathId, const std::string& name, int raidSet = -1);
  // A RAID volume below the controller.
  IrstMachine& raidVolume(const std::string& suffix);
  // A disk below the controller that is not a RAID volume.
  IrstMachine& nonRaidDisk(const std::string& suffix, const std::string& location);
  // A disk of the maker on the inbox NVMe driver.
  IrstMachine& inboxDisk(const std::string& suffix, const std::string& driveName, int deviceNumber);
  IrstMachine& fault(nlohmann::json fault);

  [[nodiscard]] const nlohmann::json& description() const { return doc_; }
  [[nodiscard]] static std::string diskPath(const std::string& suffix);

 private:
  nlohmann::json doc_;
  std::size_t controllerIndex_ = 0;
};

}  // namespace koa::test
