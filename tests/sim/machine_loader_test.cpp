// A malformed machine description gives a message naming the file and the
// field, never a crash.
#include <gtest/gtest.h>

#include "tests/sim/sim_test_support.h"

namespace koa::sim {
namespace {

using test::loadError;

std::string withDevices(const std::string& devices, const std::string& rest = "") {
  return R"({"drives": {"a": {"serialNumber": "S", "modelNumber": "M", "firmwareRevision": "GXB3LTMW"}}, "devices": )" +
         devices + rest + "}";
}

const std::string kDisk = R"({"instanceId": "D\\1", "interfaces": [{"class": "disk", "path": "\\\\?\\d1"}], "disk": {"deviceNumber": 1, "drive": "a"}})";

TEST(MachineLoader, ValidDescriptionLoads) { EXPECT_EQ(loadError(withDevices("[" + kDisk + "]")), "<loaded>"); }

TEST(MachineLoader, SyntaxErrorsNameFileLineAndColumn) {
  const std::string error = loadError("{\"drives\": {,}}", "bad.json");
  EXPECT_EQ(error.rfind("bad.json: /: not valid JSON: parse error at line 1, column 13", 0), 0u) << error;
  EXPECT_EQ(loadError("", "empty.json").rfind("empty.json: /: not valid JSON: ", 0), 0u);
}

TEST(MachineLoader, DuplicateFieldsAreRejectedWhereTheyStand) {
  EXPECT_EQ(loadError(R"({"drives": {"a": {}, "a": {}}})"), "machine.json: /drives/a: duplicate field");
  EXPECT_EQ(loadError(withDevices(R"([{"instanceId": "X", "parent": "Y", "parent": "Z"}])")),
            "machine.json: /devices/0/parent: duplicate field");
  EXPECT_EQ(loadError(withDevices("[" + kDisk + R"(, {"instanceId": "E", "interfaces": [{"class": "disk", "class": "disk"}]}])")),
            "machine.json: /devices/1/interfaces/0/class: duplicate field");
}

TEST(MachineLoader, WrongTypesAndMissingFields) {
  EXPECT_EQ(loadError("[]"), "machine.json: /: expected an object, found array");
  EXPECT_EQ(loadError(withDevices("{}")), "machine.json: /devices: expected an array, found object");
  EXPECT_EQ(loadError(withDevices(R"([{"parent": "X"}])")), "machine.json: /devices/0/instanceId: missing required field");
  EXPECT_EQ(loadError(withDevices(R"([{"instanceId": 7}])")),
            "machine.json: /devices/0/instanceId: expected a string, found number");
  EXPECT_EQ(loadError(withDevices("[]", R"(, "elevated": "yes")")),
            "machine.json: /elevated: expected true or false, found string");
  EXPECT_EQ(loadError(withDevices("[]", R"(, "machine": 1)")), "machine.json: /machine: unknown field");
  EXPECT_EQ(loadError(withDevices(R"([{"instanceId": "X", "disk": {"deviceNumber": -1}}])")),
            "machine.json: /devices/0/disk/deviceNumber: expected a number from 0 to 4294967294, found -1");
}

TEST(MachineLoader, DanglingReferences) {
  EXPECT_EQ(loadError(withDevices(R"([{"instanceId": "X", "disk": {"deviceNumber": 1, "drive": "b"}}])")),
            "machine.json: /devices/0/disk/drive: no drive named \"b\" in /drives");
  EXPECT_EQ(loadError(withDevices(R"([{"instanceId": "X", "parent": "PCI\\NOWHERE"}])")),
            "machine.json: /devices/0/parent: no device node has the instance identifier \"PCI\\NOWHERE\"");
  EXPECT_EQ(loadError(withDevices("[" + kDisk + "]", R"(, "faults": [{"action": "fail", "device": "\\\\.\\PHYSICALDRIVE2", "request": "inbox.download", "error": 1}])")),
            "machine.json: /faults/0/device: no present device is reached by this path");
  EXPECT_EQ(loadError(withDevices("[" + kDisk + "]", R"(, "faults": [{"action": "fail", "device": "\\\\.\\PHYSICALDRIVE1", "request": "inbox.downlaod", "error": 1}])")),
            "machine.json: /faults/0/request: not a request kind the simulated drivers name");
  EXPECT_EQ(loadError(withDevices("[" + kDisk + "]", R"(, "faults": [{"action": "fail", "device": "\\\\.\\PHYSICALDRIVE1", "request": "inbox.download", "drive": "z", "error": 1}])")),
            "machine.json: /faults/0/drive: no drive named \"z\" in /drives");
}

TEST(MachineLoader, ThingsThatMustBeUnique) {
  EXPECT_EQ(loadError(withDevices("[" + kDisk + R"(, {"instanceId": "d\\1"}])")),
            "machine.json: /devices/1/instanceId: another device node has the instance identifier \"d\\1\"");
  EXPECT_EQ(loadError(withDevices("[" + kDisk + R"(, {"instanceId": "E", "disk": {"deviceNumber": 1}}])")),
            "machine.json: /devices/1/disk/deviceNumber: another disk has the device number 1");
  EXPECT_EQ(loadError(withDevices("[" + kDisk + R"(, {"instanceId": "E", "interfaces": [{"class": "storagePort", "path": "\\\\?\\D1"}]}])")),
            "machine.json: /devices/1/interfaces/0/path: the path \"\\\\?\\D1\" is used twice");
  EXPECT_EQ(loadError(withDevices("[]", R"(, "scsiPorts": [{"port": 2}, {"port": 2}])")),
            "machine.json: /scsiPorts/1/port: the path \"\\\\.\\Scsi2:\" is used twice");
}

TEST(MachineLoader, FieldValuesOutOfTheirDomain) {
  EXPECT_EQ(loadError(withDevices("[]", R"(, "clock": "2026-13-01T00:00:00")")),
            "machine.json: /clock: expected a local time \"YYYY-MM-DDTHH:MM:SS\"");
  EXPECT_EQ(loadError(withDevices(R"([{"instanceId": "X", "interfaces": [{"class": "volume", "path": "\\\\?\\v"}]}])")),
            "machine.json: /devices/0/interfaces/0/class: expected \"disk\" or \"storagePort\"");
  EXPECT_EQ(loadError(withDevices(R"([{"instanceId": "X", "interfaces": [{"class": "disk", "path": "C:\\v"}]}])")),
            "machine.json: /devices/0/interfaces/0/path: an interface path starts with \\\\?\\");
  EXPECT_EQ(loadError(withDevices(R"([{"instanceId": "X", "disk": {"deviceNumber": 1}, "irst": {}}])")),
            "machine.json: /devices/0/irst: a device node has at most one of \"disk\" and \"irst\"");
  EXPECT_EQ(loadError(withDevices("[]", R"(, "scsiPorts": [{"port": 256}])")),
            "machine.json: /scsiPorts/0/port: expected a number from 0 to 255, found 256");
  EXPECT_EQ(loadError(withDevices("[" + kDisk + "]", R"(, "faults": [{"action": "explode"}])")),
            "machine.json: /faults/0/request: missing required field");
  EXPECT_EQ(loadError(withDevices("[" + kDisk + "]", R"(, "faults": [{"action": "explode", "request": "unknown", "device": "\\\\?\\d1"}])")),
            "machine.json: /faults/0/action: expected \"failOpen\", \"fail\", \"returnCode\", \"completionStatus\", \"patch\" or \"output\"");
  EXPECT_EQ(loadError(withDevices("[" + kDisk + "]", R"(, "faults": [{"action": "failOpen", "path": "\\\\?\\d1", "error": 5, "nth": 0}])")),
            "machine.json: /faults/0/nth: counts from 1 (leave it out for every one)");
  EXPECT_EQ(loadError(withDevices("[" + kDisk + "]", R"(, "faults": [{"action": "output", "device": "\\\\?\\d1", "request": "unknown", "hex": "abc"}])")),
            "machine.json: /faults/0/hex: expected hex text (pairs of 0-9, a-f)");
  EXPECT_EQ(loadError(withDevices("[" + kDisk + "]", R"(, "faults": [{"action": "completionStatus", "device": "\\\\?\\d1", "request": "inbox.activate", "status": 1}])")),
            "machine.json: /faults/0/request: a completion status answers only vroc.identify, vroc.getLogPage, "
            "vroc.download and vroc.commit");
  EXPECT_EQ(loadError(R"({"drives": {"a": {"serialNumber": "S", "modelNumber": "M", "firmwareRevision": "GXB3LTMW",
                                         "commitStatus": {"status": 0}}}})"),
            "machine.json: /drives/a/commitStatus/status: a forced status is not 0 (a successful commit commits the image)");
}

TEST(MachineLoader, DriveNamesWithSlashesAreEscapedInPaths) {
  EXPECT_EQ(loadError(R"({"drives": {"a/b~c": {"serialNumber": 1}}})"),
            "machine.json: /drives/a~1b~0c/serialNumber: expected a string, found number");
}

TEST(MachineLoader, AbsentDevicesCannotBeOpenedButStillEnumerate) {
  MachineDescription machine = test::describe(nlohmann::json::parse(
      R"({"devices": [{"instanceId": "X", "present": false, "interfaces": [{"class": "disk", "path": "\\\\?\\x"}], "disk": {"deviceNumber": 3}}]})"));
  EXPECT_TRUE(machine.paths.empty());
  ASSERT_EQ(machine.devices.size(), 1u);
  EXPECT_FALSE(machine.devices[0].present);
}

}  // namespace
}  // namespace koa::sim
