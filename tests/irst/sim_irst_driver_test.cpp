// The simulated IRST driver on its own: requests built by hand from the
// driver's tables, answered as a strict driver would.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/win_types.h"
#include "sim/drivers.h"
#include "tests/support/bytes.h"
#include "tests/support/firmware_slot_log_requests.h"

namespace koa::test {
namespace {

using sim::DriveTable;
using sim::IoResult;
using sim::JsonField;
using sim::NvmeDrive;

std::shared_ptr<NvmeDrive> drive(const nlohmann::json& description) {
  const JsonField field(description, "/drives/x");
  return std::make_shared<NvmeDrive>(NvmeDrive::fromDescription(field));
}

struct Controller {
  DriveTable drives;
  nlohmann::json section;
  std::unique_ptr<sim::SimDevice> device;

  explicit Controller(const std::string& activation = "immediate", int fwug = 1) {
    drives["a"] = drive(nlohmann::json::parse(R"({"serialNumber": "SA", "modelNumber": "KOA M",
        "firmwareRevision": "OLD00001", "fwug": )" + std::to_string(fwug) + R"(, "activation": ")" + activation +
        R"(", "slots": [{"number": 1, "revision": "OLD00001"}, {"number": 2}]})"));
    drives["b"] = drive(nlohmann::json::parse(R"({"serialNumber": "SB", "modelNumber": "KOA M",
        "firmwareRevision": "OLD00001"})"));
    section = nlohmann::json::parse(R"({"drives": [{"pathId": 9, "drive": "b", "raidSet": 0},
        {"pathId": 5, "drive": "a", "raidSet": 0}]})");
    device = sim::makeIrstController(JsonField(section, "/devices/0/irst"), drives);
  }

  IoResult send(std::vector<std::uint8_t>& request, std::uint32_t code = 0x4D008) {
    const auto size = static_cast<std::uint32_t>(request.size());
    return device->deviceIoControl(code, request, size, size);
  }
};

std::vector<std::uint8_t> header(std::size_t size, const char* signature, std::uint32_t controlCode) {
  std::vector<std::uint8_t> request(size, 0);
  putLe32(request.data(), 0, 28);
  std::memcpy(request.data() + 4, signature, 8);
  putLe32(request.data(), 12, 30);
  putLe32(request.data(), 16, controlCode);
  putLe32(request.data(), 24, static_cast<std::uint32_t>(size - 28));
  return request;
}

std::vector<std::uint8_t> csmiRequest() { return header(336, "CSMIARY\0", 11); }

std::vector<std::uint8_t> identifyRequest(std::uint8_t pathId) {
  auto request = header(4260, "IntelNvm", 0xF0002808);
  request[28] = 1;
  request[29] = pathId;
  putLe32(request.data(), 32, 6);
  putLe32(request.data(), 72, 1);
  putLe32(request.data(), 116, 164);
  putLe32(request.data(), 120, 4096);
  return request;
}

std::vector<std::uint8_t> firmwareRequest(std::size_t size, std::uint8_t pathId, std::uint32_t function) {
  auto request = header(size, "IntelFw ", 0xF0000040);
  request[28] = 1;
  request[29] = pathId;
  putLe32(request.data(), 32, 1);
  putLe32(request.data(), 36, 24);
  putLe32(request.data(), 40, function);
  putLe32(request.data(), 44, 1);
  putLe32(request.data(), 48, 56);
  putLe32(request.data(), 52, static_cast<std::uint32_t>(size - 56));
  return request;
}

std::vector<std::uint8_t> downloadRequest(std::uint8_t pathId, std::uint64_t offset, const std::vector<std::uint8_t>& data) {
  auto request = firmwareRequest(88 + data.size(), pathId, 2);
  putLe32(request.data(), 56, 2);
  putLe32(request.data(), 60, 32);
  putLe32(request.data(), 64, static_cast<std::uint32_t>(offset));
  putLe32(request.data(), 72, static_cast<std::uint32_t>(data.size()));
  request[80] = 0xFF;
  std::memcpy(request.data() + 88, data.data(), data.size());
  return request;
}

std::vector<std::uint8_t> activateRequest(std::uint8_t pathId, std::uint8_t slot = 2) {
  auto request = firmwareRequest(68, pathId, 3);
  putLe32(request.data(), 56, 1);
  putLe32(request.data(), 60, 12);
  request[64] = slot;
  return request;
}

std::vector<std::uint8_t> image() {
  std::vector<std::uint8_t> bytes(2097152);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + (i >> 9));
  std::memcpy(bytes.data() + 0x42, "NEW00002", 8);
  return bytes;
}

// Downloads the whole image to the drive at pathId in pieces of pieceSize;
// returns the status of the first piece refused, or 0.
std::uint32_t downloadAll(Controller& controller, std::uint8_t pathId, std::size_t pieceSize) {
  const auto bytes = image();
  for (std::size_t offset = 0; offset < bytes.size(); offset += pieceSize) {
    const std::size_t length = std::min(pieceSize, bytes.size() - offset);
    auto request = downloadRequest(pathId, offset, {bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                                                    bytes.begin() + static_cast<std::ptrdiff_t>(offset + length)});
    const IoResult result = controller.send(request);
    if (!result.ok) return 0xDEAD;
    if (le32(request, 20) != 0) return le32(request, 20);
  }
  return 0;
}

TEST(SimIrstDriver, RaidConfigurationListsTheMembersByPathIdInByte90) {
  Controller controller;
  auto request = csmiRequest();
  const IoResult result = controller.send(request);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.bytesReturned, 336u);
  EXPECT_EQ(le32(request, 20), 0u);
  EXPECT_EQ(request[43], 2);
  EXPECT_EQ(request[64 + 90], 9);
  EXPECT_EQ(request[64 + 136 + 90], 5);
  EXPECT_EQ(ascii(request, 64 + 48, 2), "SB");
  EXPECT_EQ(controller.device->requestKind(0x4D008, request), "csmi.raidConfig");
}

TEST(SimIrstDriver, RaidConfigurationRefusalsAreCsmiReturnCodes) {
  Controller controller;
  auto outOfRange = csmiRequest();
  putLe32(outOfRange.data(), 28, 1);
  ASSERT_TRUE(controller.send(outOfRange).ok);
  EXPECT_EQ(le32(outOfRange, 20), 1000u);  // CSMI_SAS_RAID_SET_OUT_OF_RANGE

  auto badCode = header(336, "CSMIARY\0", 12);
  ASSERT_TRUE(controller.send(badCode).ok);
  EXPECT_EQ(le32(badCode, 20), 2u);  // CSMI_SAS_STATUS_BAD_CNTL_CODE
}

TEST(SimIrstDriver, MalformedHeadersFailTheCall) {
  Controller controller;
  auto wrongHeaderLength = csmiRequest();
  putLe32(wrongHeaderLength.data(), 0, 24);
  EXPECT_EQ(controller.send(wrongHeaderLength).error, ERROR_INVALID_PARAMETER);

  auto wrongLength = csmiRequest();
  putLe32(wrongLength.data(), 24, 336);
  EXPECT_EQ(controller.send(wrongLength).error, ERROR_INVALID_PARAMETER);

  auto shortOutput = csmiRequest();
  EXPECT_EQ(controller.device->deviceIoControl(0x4D008, shortOutput, 336, 300).error, ERROR_INVALID_PARAMETER);

  auto unknownSignature = header(336, "CSMIRAY\0", 11);
  EXPECT_EQ(controller.send(unknownSignature).error, ERROR_INVALID_FUNCTION);

  auto otherCode = csmiRequest();
  EXPECT_EQ(controller.send(otherCode, 0x4D004).error, ERROR_INVALID_FUNCTION);
}

TEST(SimIrstDriver, IdentifyAnswersOnlyAWellFormedIdentifyController) {
  Controller controller;
  auto good = identifyRequest(5);
  ASSERT_TRUE(controller.send(good).ok);
  EXPECT_EQ(ascii(good, 164 + 4, 3), "SA ");
  EXPECT_EQ(ascii(good, 164 + 64, 8), "OLD00001");
  EXPECT_EQ(controller.device->requestDrive(0x4D008, good), "a");

  auto noDrive = identifyRequest(6);
  EXPECT_FALSE(controller.send(noDrive).ok);

  auto namespaceSet = identifyRequest(5);
  putLe32(namespaceSet.data(), 36, 1);  // NSID
  EXPECT_EQ(controller.send(namespaceSet).error, ERROR_INVALID_PARAMETER);

  auto wrongCns = identifyRequest(5);
  putLe32(wrongCns.data(), 72, 0);
  EXPECT_EQ(controller.send(wrongCns).error, ERROR_INVALID_PARAMETER);

  auto wrongAddress = identifyRequest(5);
  wrongAddress[28] = 0;
  EXPECT_EQ(controller.send(wrongAddress).error, ERROR_INVALID_PARAMETER);

  auto wrongDataOffset = identifyRequest(5);
  putLe32(wrongDataOffset.data(), 116, 160);
  EXPECT_EQ(controller.send(wrongDataOffset).error, ERROR_INVALID_PARAMETER);

  auto wrongCode = header(4260, "IntelNvm", 0xF0002804);
  EXPECT_EQ(controller.send(wrongCode).error, ERROR_INVALID_FUNCTION);
}

TEST(SimIrstDriver, WholeImageThenActivationRunsTheNewFirmware) {
  Controller controller;
  ASSERT_EQ(downloadAll(controller, 5, 4096), 0u);
  auto activate = activateRequest(5);
  EXPECT_EQ(controller.device->requestKind(0x4D008, activate), "irst.activate");
  ASSERT_TRUE(controller.send(activate).ok);
  EXPECT_EQ(le32(activate, 20), 0u);
  EXPECT_EQ(controller.drives["a"]->runningRevision(), "NEW00002");
  EXPECT_EQ(controller.drives["b"]->runningRevision(), "OLD00001");
}

TEST(SimIrstDriver, DriveThatActivatesAtResetAsksForAPowerCycle) {
  Controller controller("reset");
  ASSERT_EQ(downloadAll(controller, 5, 4096), 0u);
  auto activate = activateRequest(5);
  ASSERT_TRUE(controller.send(activate).ok);
  EXPECT_EQ(le32(activate, 20), 0x20u);
  EXPECT_EQ(controller.drives["a"]->runningRevision(), "OLD00001");
  EXPECT_EQ(controller.drives["a"]->revisionAfterReset(), "NEW00002");
}

TEST(SimIrstDriver, FirmwareSlotLogAnswersOnlyTheIdentifyBlockWithTheLogCommand) {
  Controller controller("reset");
  ASSERT_EQ(downloadAll(controller, 5, 4096), 0u);
  auto activate = activateRequest(5);
  ASSERT_TRUE(controller.send(activate).ok);

  auto log = irstFirmwareSlotLogRequest(5);
  EXPECT_EQ(controller.device->requestKind(0x4D008, log), "irst.getLogPage");
  EXPECT_EQ(controller.device->requestDrive(0x4D008, log), "a");
  std::fill(log.begin() + 164 + 512, log.end(), 0xA5);
  const IoResult result = controller.send(log);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.bytesReturned, 4260u);
  EXPECT_EQ(le32(log, 20), 0u);
  EXPECT_EQ(log[164], 0x21);  // AFI: running slot 1, slot 2 at the next reset
  EXPECT_TRUE(std::all_of(log.begin() + 165, log.begin() + 172, [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(ascii(log, 164 + 8, 8), "OLD00001");
  EXPECT_EQ(ascii(log, 164 + 16, 8), "NEW00002");
  EXPECT_TRUE(std::all_of(log.begin() + 164 + 24, log.begin() + 164 + 512, [](std::uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::all_of(log.begin() + 164 + 512, log.end(), [](std::uint8_t b) { return b == 0xA5; }));

  // Every field of the block one value off: refused as a malformed identify.
  const std::vector<std::pair<std::size_t, std::uint32_t>> spoilers{
      {32, 0x03},        // opcode
      {36, 0xFFFFFFFE},  // NSID
      {36, 0},           // NSID of identify
      {72, 0x007F0002},  // LID
      {72, 0x007E0003},  // NUMDL
      {76, 1},           // dword 11
      {92, 1},           // dword 15
      {96, 1},           // the gap after the command
      {116, 160},        // data offset
      {120, 512},        // data length
  };
  for (const auto& [offset, value] : spoilers) {
    auto request = irstFirmwareSlotLogRequest(5);
    putLe32(request.data(), offset, value);
    EXPECT_EQ(controller.send(request).error, ERROR_INVALID_PARAMETER) << "byte " << offset;
  }
  auto wrongAddress = irstFirmwareSlotLogRequest(5);
  wrongAddress[30] = 1;
  EXPECT_EQ(controller.send(wrongAddress).error, ERROR_INVALID_PARAMETER);
  auto shorter = irstFirmwareSlotLogRequest(5);
  shorter.resize(164 + 512);
  putLe32(shorter.data(), 24, 164 + 512 - 28);
  EXPECT_EQ(controller.send(shorter).error, ERROR_INVALID_PARAMETER);
  auto noDrive = irstFirmwareSlotLogRequest(6);
  EXPECT_EQ(controller.send(noDrive).error, 55u);  // ERROR_DEV_NOT_EXIST
}

TEST(SimIrstDriver, ActivationOfAnIncompleteImageOrAMissingSlotIsRefused) {
  Controller controller;
  const auto bytes = image();
  auto first = downloadRequest(5, 0, {bytes.begin(), bytes.begin() + 4096});
  ASSERT_TRUE(controller.send(first).ok);
  auto activate = activateRequest(5);
  ASSERT_TRUE(controller.send(activate).ok);
  EXPECT_EQ(le32(activate, 20), 7u);  // FIRMWARE_STATUS_INVALID_IMAGE

  ASSERT_EQ(downloadAll(controller, 9, 4096), 0u);
  auto noSlotTwo = activateRequest(9);  // drive b has slot 1 only
  ASSERT_TRUE(controller.send(noSlotTwo).ok);
  EXPECT_EQ(le32(noSlotTwo, 20), 6u);  // FIRMWARE_STATUS_INVALID_SLOT
}

TEST(SimIrstDriver, PiecesFollowTheGranularityExceptAShortLastOne) {
  Controller controller("immediate", 3);
  EXPECT_EQ(downloadAll(controller, 5, 4096), 3u);  // below the 12 KiB granule
  Controller whole("immediate", 3);
  EXPECT_EQ(downloadAll(whole, 5, 3 * 4096), 0u);   // 170 pieces and one of 8 KiB
  auto activate = activateRequest(5);
  ASSERT_TRUE(whole.send(activate).ok);
  EXPECT_EQ(le32(activate, 20), 0u);
}

TEST(SimIrstDriver, MalformedFirmwareBlocksAreInvalidParameter) {
  const std::vector<std::uint8_t> piece(4096, 0xA5);
  const std::vector<std::pair<std::size_t, std::uint8_t>> spoilers{
      {28, 2},    // drive address first byte
      {30, 1},    // drive address rest
      {32, 2},    // request block version
      {36, 28},   // request block size
      {44, 3},    // flags: a last-segment flag as well
      {48, 60},   // data buffer offset
      {52, 0},    // data buffer length
      {56, 1},    // download block version
      {60, 24},   // download block size
      {73, 0x11}, // buffer size
      {80, 1},    // slot
      {81, 1},    // reserved
  };
  for (const auto& [offset, value] : spoilers) {
    Controller controller;
    auto request = downloadRequest(5, 0, piece);
    request[offset] = value;
    ASSERT_TRUE(controller.send(request).ok) << offset;
    EXPECT_EQ(le32(request, 20), 3u) << "byte " << offset;
    EXPECT_EQ(controller.drives["a"]->acceptedPieces(), 0u);
  }
  Controller controller;
  auto unknownDrive = downloadRequest(6, 0, piece);
  ASSERT_TRUE(controller.send(unknownDrive).ok);
  EXPECT_EQ(le32(unknownDrive, 20), 3u);
  auto activate = activateRequest(5);
  activate[60] = 16;  // activate block size
  ASSERT_TRUE(controller.send(activate).ok);
  EXPECT_EQ(le32(activate, 20), 3u);
  EXPECT_EQ(controller.drives["a"]->commitCount(), 0u);
  auto wrongCode = downloadRequest(5, 0, piece);
  putLe32(wrongCode.data(), 16, 0xF0000044);
  EXPECT_EQ(controller.send(wrongCode).error, ERROR_INVALID_FUNCTION);
}

TEST(SimIrstDriver, DescriptionErrorsNameTheField) {
  DriveTable drives;
  drives["a"] = drive(nlohmann::json::parse(R"({"serialNumber": "SA", "modelNumber": "M", "firmwareRevision": "R"})"));
  const auto load = [&](const char* text) {
    const nlohmann::json section = nlohmann::json::parse(text);
    try {
      (void)sim::makeIrstController(JsonField(section, "/devices/1/irst"), drives);
    } catch (const sim::DescriptionError& error) {
      return error.path();
    }
    return std::string("accepted");
  };
  EXPECT_EQ(load(R"({"drives": [{"pathId": 1, "drive": "a"}, {"pathId": 1, "drive": "a"}]})"),
            "/devices/1/irst/drives/1/pathId");
  EXPECT_EQ(load(R"({"drives": [{"pathId": 1, "drive": "z"}]})"), "/devices/1/irst/drives/0/drive");
  EXPECT_EQ(load(R"({"drives": [{"pathId": 256, "drive": "a"}]})"), "/devices/1/irst/drives/0/pathId");
  EXPECT_EQ(load(R"({"drives": [{"pathId": 1, "drive": "a", "raidSet": 1}]})"), "/devices/1/irst");
  EXPECT_EQ(load(R"({"drives": [{"pathId": 1, "drive": "a", "raidset": 0}]})"), "/devices/1/irst/drives/0/raidset");
  EXPECT_EQ(load(R"({"raidSets": []})"), "/devices/1/irst/raidSets");
  EXPECT_EQ(load(R"({"drives": [{"pathId": 1, "drive": "a", "raidSet": 0}]})"), "accepted");
}

}  // namespace
}  // namespace koa::test
