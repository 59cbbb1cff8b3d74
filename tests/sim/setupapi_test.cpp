// SetupAPI on the simulated machine, as Windows answers it.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/sim/sim_test_support.h"

namespace koa::sim {
namespace {

using test::describe;
using test::w;

// Three nodes: a controller with a storage-port interface, a disk below it,
// a second disk that is not present, and a root device without interfaces.
nlohmann::json threeNodes() {
  return {{"drives", nlohmann::json::object()},
          {"devices",
           {{{"instanceId", "PCI\\VEN_D5A7&DEV_1\\1"},
             {"parent", "ROOT\\HUB\\0"},
             {"driverDesc", "Standard NVM Express Controller"},
             {"interfaces", {{{"class", "storagePort"}, {"path", "\\\\?\\pci#ven_d5a7#1#{2accfe60}"}}}}},
            {{"instanceId", "SCSI\\DISK&VEN_NVME\\2"},
             {"parent", "PCI\\VEN_D5A7&DEV_1\\1"},
             {"hardwareIds", {"SCSI\\DiskNVMe____A", "GenDisk"}},
             {"locationInfo", "Bus Number 2, Target Id 0, LUN 0"},
             {"interfaces", {{{"class", "disk"}, {"path", "\\\\?\\scsi#disk#2#{53f56307}"}}}},
             {"disk", {{"deviceNumber", 4}}}},
            {{"instanceId", "SCSI\\DISK&VEN_NVME\\3"},
             {"parent", "PCI\\VEN_D5A7&DEV_1\\1"},
             {"present", false},
             {"interfaces", {{{"class", "disk"}, {"path", "\\\\?\\scsi#disk#3#{53f56307}"}}}}},
            {{"instanceId", "ROOT\\HUB\\0"}},
            {{"instanceId", "SCSI\\DISK&VEN_NVME\\5"},
             {"parent", "PCI\\VEN_D5A7&DEV_1\\1"},
             {"interfaces", {{{"class", "disk"}, {"path", "\\\\?\\scsi#disk#5#{53f56307}"}}}}}}}};
}

class SetupApi : public ::testing::Test {
 protected:
  SimulatedMachine machine{describe(threeNodes())};

  static SpDevInfoData devInfo() {
    SpDevInfoData data{};
    data.cbSize = sizeof(SpDevInfoData);
    return data;
  }
  static SpDeviceInterfaceData interfaceData() {
    SpDeviceInterfaceData data{};
    data.cbSize = sizeof(SpDeviceInterfaceData);
    return data;
  }
  std::vector<std::uint32_t> devInstsOf(DevInfoSet set) {
    std::vector<std::uint32_t> result;
    SpDevInfoData data = devInfo();
    for (std::uint32_t i = 0; machine.SetupDiEnumDeviceInfo(set, i, &data); ++i) result.push_back(data.DevInst);
    EXPECT_EQ(machine.GetLastError(), ERROR_NO_MORE_ITEMS);
    return result;
  }
  std::u16string readString(DevInfoSet set, const SpDevInfoData& data, const DevPropKey& key) {
    std::uint32_t type = 0;
    std::uint32_t required = 0;
    EXPECT_FALSE(machine.SetupDiGetDevicePropertyW(set, &data, &key, &type, nullptr, 0, &required, 0));
    EXPECT_EQ(machine.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<std::uint8_t> buffer(required);
    EXPECT_TRUE(machine.SetupDiGetDevicePropertyW(set, &data, &key, &type, buffer.data(), required, &required, 0));
    EXPECT_EQ(type, DEVPROP_TYPE_STRING);
    std::u16string text(required / 2, u'\0');
    std::memcpy(text.data(), buffer.data(), required);
    EXPECT_EQ(text.back(), u'\0');
    text.pop_back();
    return text;
  }
};

TEST_F(SetupApi, InterfaceSetsHoldPresentDevicesOfTheClassInDescriptionOrder) {
  const DevInfoSet disks = machine.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, 0x12);
  ASSERT_NE(disks, kInvalidDevInfoSet);
  EXPECT_EQ(devInstsOf(disks), (std::vector<std::uint32_t>{kFirstDevInst + 1, kFirstDevInst + 4}));
  const DevInfoSet ports = machine.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_STORAGEPORT, nullptr, 0x12);
  EXPECT_EQ(devInstsOf(ports), (std::vector<std::uint32_t>{kFirstDevInst}));
  // Without DIGCF_PRESENT the absent disk is listed too.
  const DevInfoSet all = machine.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, DIGCF_DEVICEINTERFACE);
  EXPECT_EQ(devInstsOf(all).size(), 3u);
  EXPECT_EQ(machine.openDeviceSetCount(), 3u);
  for (DevInfoSet set : {disks, ports, all}) EXPECT_TRUE(machine.SetupDiDestroyDeviceInfoList(set));
  EXPECT_EQ(machine.openDeviceSetCount(), 0u);
}

TEST_F(SetupApi, AllClassesGivesEveryPresentDeviceNodeWhateverTheGuid) {
  const DevInfoSet set = machine.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, 0x06);
  EXPECT_EQ(devInstsOf(set), (std::vector<std::uint32_t>{kFirstDevInst, kFirstDevInst + 1, kFirstDevInst + 3,
                                                         kFirstDevInst + 4}));
  // DevInst values are those of the nodes, the same in every set.
  const DevInfoSet disks = machine.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, 0x12);
  SpDevInfoData data = devInfo();
  ASSERT_TRUE(machine.SetupDiEnumDeviceInfo(disks, 0, &data));
  EXPECT_EQ(data.DevInst, kFirstDevInst + 1);
  EXPECT_EQ(readString(set, data, DEVPKEY_Device_LocationInfo), u"Bus Number 2, Target Id 0, LUN 0");
}

TEST_F(SetupApi, BadArgumentsFailAsWindowsFailsThem) {
  EXPECT_EQ(machine.SetupDiGetClassDevsW(nullptr, nullptr, 0x12), kInvalidDevInfoSet);
  EXPECT_EQ(machine.GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(machine.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, 0x100), kInvalidDevInfoSet);
  EXPECT_EQ(machine.GetLastError(), kErrorInvalidFlags);
  EXPECT_EQ(machine.openDeviceSetCount(), 0u);

  SpDevInfoData data = devInfo();
  EXPECT_FALSE(machine.SetupDiEnumDeviceInfo(0x1234, 0, &data));
  EXPECT_EQ(machine.GetLastError(), ERROR_INVALID_HANDLE);
  const DevInfoSet set = machine.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, 0x12);
  data.cbSize = 28;
  EXPECT_FALSE(machine.SetupDiEnumDeviceInfo(set, 0, &data));
  EXPECT_EQ(machine.GetLastError(), kErrorInvalidUserBuffer);
  SpDeviceInterfaceData itf{};
  itf.cbSize = 24;
  EXPECT_FALSE(machine.SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_DISK, 0, &itf));
  EXPECT_EQ(machine.GetLastError(), kErrorInvalidUserBuffer);
  EXPECT_TRUE(machine.SetupDiDestroyDeviceInfoList(set));
  EXPECT_FALSE(machine.SetupDiDestroyDeviceInfoList(set));
  EXPECT_EQ(machine.GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(SetupApi, InterfaceDetailFollowsTheRequiredSizeProtocol) {
  const DevInfoSet set = machine.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, 0x12);
  SpDeviceInterfaceData itf = interfaceData();
  ASSERT_TRUE(machine.SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_DISK, 1, &itf));
  EXPECT_EQ(itf.InterfaceClassGuid, GUID_DEVINTERFACE_DISK);
  EXPECT_FALSE(machine.SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_DISK, 2, &itf));
  EXPECT_EQ(machine.GetLastError(), ERROR_NO_MORE_ITEMS);
  ASSERT_TRUE(machine.SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_DISK, 1, &itf));

  const std::u16string path = u"\\\\?\\scsi#disk#5#{53f56307}";
  const std::uint32_t expected = 4 + 2 * (static_cast<std::uint32_t>(path.size()) + 1);
  std::uint32_t required = 0;
  EXPECT_FALSE(machine.SetupDiGetDeviceInterfaceDetailW(set, &itf, nullptr, 0, &required, nullptr));
  EXPECT_EQ(machine.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(required, expected);

  std::vector<std::uint8_t> detail(required, 0);
  // cbSize must be 8, as on 64-bit Windows.
  detail[0] = 6;
  EXPECT_FALSE(machine.SetupDiGetDeviceInterfaceDetailW(set, &itf, detail.data(), required, nullptr, nullptr));
  EXPECT_EQ(machine.GetLastError(), kErrorInvalidUserBuffer);
  detail[0] = 8;
  EXPECT_FALSE(machine.SetupDiGetDeviceInterfaceDetailW(set, &itf, detail.data(), required - 1, nullptr, nullptr));
  EXPECT_EQ(machine.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  SpDevInfoData owner = devInfo();
  ASSERT_TRUE(machine.SetupDiGetDeviceInterfaceDetailW(set, &itf, detail.data(), required, nullptr, &owner));
  EXPECT_EQ(owner.DevInst, kFirstDevInst + 4);
  std::u16string written(path.size(), u'\0');
  std::memcpy(written.data(), detail.data() + 4, path.size() * 2);
  EXPECT_EQ(written, path);
  EXPECT_EQ(detail[required - 1], 0);
  EXPECT_EQ(detail[required - 2], 0);
  EXPECT_TRUE(machine.SetupDiDestroyDeviceInfoList(set));
}

TEST_F(SetupApi, InterfacesOfOneElement) {
  const DevInfoSet set = machine.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, 0x12);
  SpDevInfoData data = devInfo();
  ASSERT_TRUE(machine.SetupDiEnumDeviceInfo(set, 1, &data));
  SpDeviceInterfaceData itf = interfaceData();
  EXPECT_TRUE(machine.SetupDiEnumDeviceInterfaces(set, &data, &GUID_DEVINTERFACE_DISK, 0, &itf));
  EXPECT_FALSE(machine.SetupDiEnumDeviceInterfaces(set, &data, &GUID_DEVINTERFACE_DISK, 1, &itf));
  EXPECT_EQ(machine.GetLastError(), ERROR_NO_MORE_ITEMS);
  EXPECT_FALSE(machine.SetupDiEnumDeviceInterfaces(set, &data, &GUID_DEVINTERFACE_STORAGEPORT, 0, &itf));
  EXPECT_EQ(machine.GetLastError(), ERROR_NO_MORE_ITEMS);
  // An element of another set is not a member of this one.
  SpDevInfoData stranger = devInfo();
  stranger.DevInst = kFirstDevInst;
  EXPECT_FALSE(machine.SetupDiEnumDeviceInterfaces(set, &stranger, &GUID_DEVINTERFACE_DISK, 0, &itf));
  EXPECT_EQ(machine.GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(machine.SetupDiDestroyDeviceInfoList(set));
}

TEST_F(SetupApi, UnifiedPropertiesAreStringsWithTheirRequiredSize) {
  const DevInfoSet set = machine.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, 0x12);
  SpDevInfoData data = devInfo();
  ASSERT_TRUE(machine.SetupDiEnumDeviceInfo(set, 0, &data));
  EXPECT_EQ(readString(set, data, DEVPKEY_Device_InstanceId), u"SCSI\\DISK&VEN_NVME\\2");
  EXPECT_EQ(readString(set, data, DEVPKEY_Device_Parent), u"PCI\\VEN_D5A7&DEV_1\\1");

  std::uint32_t type = 0;
  std::uint32_t required = 0;
  std::uint8_t buffer[8] = {};
  EXPECT_FALSE(machine.SetupDiGetDevicePropertyW(set, &data, &DEVPKEY_Device_DriverDesc, &type, buffer, 8, &required, 0));
  EXPECT_EQ(machine.GetLastError(), ERROR_NOT_FOUND);
  EXPECT_FALSE(machine.SetupDiGetDevicePropertyW(set, &data, &DEVPKEY_Device_Parent, &type, buffer, 8, &required, 1));
  EXPECT_EQ(machine.GetLastError(), kErrorInvalidFlags);
  // Too small a buffer is left untouched.
  EXPECT_FALSE(machine.SetupDiGetDevicePropertyW(set, &data, &DEVPKEY_Device_Parent, &type, buffer, 8, &required, 0));
  EXPECT_EQ(machine.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(required, 2u * (std::u16string(u"PCI\\VEN_D5A7&DEV_1\\1").size() + 1));
  EXPECT_EQ(buffer[0], 0);
  EXPECT_TRUE(machine.SetupDiDestroyDeviceInfoList(set));
}

TEST_F(SetupApi, HardwareIdsAreAMultiStringRegistryProperty) {
  const DevInfoSet set = machine.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, 0x12);
  SpDevInfoData data = devInfo();
  ASSERT_TRUE(machine.SetupDiEnumDeviceInfo(set, 0, &data));
  std::uint32_t type = 0;
  std::uint32_t required = 0;
  EXPECT_FALSE(machine.SetupDiGetDeviceRegistryPropertyW(set, &data, SPDRP_HARDWAREID, &type, nullptr, 0, &required));
  EXPECT_EQ(machine.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  const std::u16string expected = u"SCSI\\DiskNVMe____A" + std::u16string(1, u'\0') + u"GenDisk" +
                                  std::u16string(2, u'\0');
  EXPECT_EQ(required, expected.size() * 2);
  EXPECT_EQ(type, REG_MULTI_SZ);
  std::vector<std::uint8_t> buffer(required * 2, 0xEE);
  EXPECT_TRUE(machine.SetupDiGetDeviceRegistryPropertyW(set, &data, SPDRP_HARDWAREID, &type, buffer.data(),
                                                        static_cast<std::uint32_t>(buffer.size()), &required));
  std::u16string text(expected.size(), u'\0');
  std::memcpy(text.data(), buffer.data(), expected.size() * 2);
  EXPECT_EQ(text, expected);
  EXPECT_EQ(buffer[required], 0xEE);  // nothing written past the value

  ASSERT_TRUE(machine.SetupDiEnumDeviceInfo(set, 1, &data));  // no hardware identifiers
  EXPECT_FALSE(machine.SetupDiGetDeviceRegistryPropertyW(set, &data, SPDRP_HARDWAREID, &type, nullptr, 0, &required));
  EXPECT_EQ(machine.GetLastError(), ERROR_INVALID_DATA);
  EXPECT_TRUE(machine.SetupDiDestroyDeviceInfoList(set));
}

TEST_F(SetupApi, SuccessDoesNotClearTheLastError) {
  EXPECT_EQ(machine.SetupDiGetClassDevsW(nullptr, nullptr, 0x12), kInvalidDevInfoSet);
  const DevInfoSet set = machine.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, 0x12);
  ASSERT_NE(set, kInvalidDevInfoSet);
  EXPECT_EQ(machine.GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(machine.SetupDiDestroyDeviceInfoList(set));
}

}  // namespace
}  // namespace koa::sim
