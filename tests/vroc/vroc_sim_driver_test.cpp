// The simulated VROC driver, driven with requests built from the layout
// tables: what it answers, how it refuses each malformed field, and what the
// drives behind it hold afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/drivers.h"
#include "sim/json_field.h"
#include "sim/sim_device.h"
#include "tests/support/bytes.h"
#include "tests/support/firmware_slot_log_requests.h"
#include "tests/support/patterned_image.h"
#include "tests/support/vroc_requests.h"

namespace koa::test::vroc {
namespace {

using sim::IoResult;

nlohmann::json driveJson(const std::string& serial, const std::string& revision) {
  return nlohmann::json::parse(R"({"serialNumber": ")" + serial +
                               R"(", "modelNumber": "KOA NVMe SSD 3.84TB", "firmwareRevision": ")" + revision +
                               R"(", "pciVendorId": "0xD5A7", "activation": "reset", "slots": [
                                   {"number": 1, "readOnly": true, "revision": "GXB1LTMW"},
                                   {"number": 2, "readOnly": false, "revision": ")" + revision +
                               R"("}], "activeSlot": 2})");
}

struct Reply {
  IoResult result;
  std::vector<std::uint8_t> buffer;  // the system buffer after the call
  std::uint32_t returnCode() const { return le32(buffer, 20); }
  std::uint32_t dword3() const { return le32(buffer, 128); }
};

class VrocSimDriver : public ::testing::Test {
 protected:
  VrocSimDriver() {
    drivesJson_ = {{"m1", driveJson("KOA0301", "GXB3LTMW")},
                   {"m2", driveJson("KOA0302", "GXB2LTMW")},
                   {"p1", driveJson("KOA0303", "GXR4LTMW")}};
    for (const auto& [name, description] : drivesJson_.items())
      drives_[name] = std::make_shared<sim::NvmeDrive>(
          sim::NvmeDrive::fromDescription(sim::JsonField(description, "/drives/" + name)));
    section_ = nlohmann::json::parse(R"({
      "volumes": [{"members": [{"diskId": "0x01000000", "pathId": 4, "drive": "m1"},
                               {"diskId": "0x01000001", "pathId": 5, "drive": "m2"}]}],
      "passThrough": [{"diskId": "0x02000000", "pathId": 9, "drive": "p1"}]
    })");
    rebuild();
  }

  void rebuild() { port_ = sim::makeVrocPort(sim::JsonField(section_, "/scsiPorts/0/vroc"), drives_); }

  Reply call(std::vector<std::uint8_t> input, std::uint32_t outSize, std::uint32_t code = kScsiMiniport) {
    const auto inSize = static_cast<std::uint32_t>(input.size());
    input.resize(std::max<std::size_t>(input.size(), outSize), 0);
    Reply reply;
    reply.result = port_->deviceIoControl(code, input, inSize, outSize);
    reply.buffer = std::move(input);
    return reply;
  }
  Reply call(const std::vector<std::uint8_t>& input) {
    return call(input, static_cast<std::uint32_t>(input.size()));
  }

  sim::NvmeDrive& drive(const std::string& name) { return *drives_.at(name); }

  static std::vector<std::uint8_t> volumeInfo() {
    auto request = header(132, 40, 0xE0002018, 0);
    putLe32(request, 28, 1);
    return request;
  }
  static std::vector<std::uint8_t> memberList(std::uint32_t entries) {
    auto request = header(entries * 108 + 40, 40, 0xE000201C, 0);
    putLe32(request, 28, 1);
    putLe32(request, 32, entries * 108);
    return request;
  }
  static std::vector<std::uint8_t> passThroughList(std::uint32_t entries) {
    auto request = header(entries * 108 + 36, 40, 0xE000202C, 0);
    putLe32(request, 28, entries * 108);
    return request;
  }

  nlohmann::json drivesJson_;
  nlohmann::json section_;
  sim::DriveTable drives_;
  std::unique_ptr<sim::SimDevice> port_;
};

TEST_F(VrocSimDriver, CountsAndListsDescribeTheVolumeAndThePassThroughDrives) {
  const Reply volumes = call(header(32, 40, 0xE0002014, 0));
  ASSERT_TRUE(volumes.result.ok);
  EXPECT_EQ(volumes.result.bytesReturned, 32u);
  EXPECT_EQ(volumes.returnCode(), 0u);
  EXPECT_EQ(le32(volumes.buffer, 28), 1u);
  EXPECT_EQ(le32(call(header(32, 40, 0xE0002028, 0)).buffer, 28), 1u);

  const Reply information = call(volumeInfo());
  EXPECT_EQ(information.returnCode(), 0u);
  EXPECT_EQ(le32(information.buffer, 128), 2u);

  const Reply members = call(memberList(2));
  ASSERT_TRUE(members.result.ok);
  EXPECT_EQ(members.returnCode(), 0u);
  EXPECT_EQ(members.result.bytesReturned, 2u * 108u + 40u);
  EXPECT_EQ(le32(members.buffer, 36), 0x01000000u);
  EXPECT_EQ(ascii(members.buffer, 36 + 4, 40), std::string("KOA NVMe SSD 3.84TB").append(21, ' '));
  EXPECT_EQ(ascii(members.buffer, 36 + 52, 8), std::string("KOA0301\0", 8));
  EXPECT_EQ(le32(members.buffer, 36 + 100), 4u);
  EXPECT_EQ(le32(members.buffer, 144), 0x01000001u);
  EXPECT_EQ(le32(members.buffer, 144 + 100), 5u);

  const Reply loose = call(passThroughList(1));
  EXPECT_EQ(loose.result.bytesReturned, 108u + 36u);
  EXPECT_EQ(le32(loose.buffer, 32), 0x02000000u);
  EXPECT_EQ(le32(loose.buffer, 32 + 100), 9u);

  // A list with room to spare returns only the entries it holds.
  EXPECT_EQ(call(passThroughList(4)).result.bytesReturned, 108u + 36u);
}

TEST_F(VrocSimDriver, ReportedCountsCanDisagreeWithTheLists) {
  section_["volumes"][0]["reportedMemberCount"] = 0xFFFFFFFFu;
  section_["reportedPassThroughCount"] = -2;
  rebuild();
  EXPECT_EQ(le32(call(volumeInfo()).buffer, 128), 0xFFFFFFFFu);
  EXPECT_EQ(le32(call(header(32, 40, 0xE0002028, 0)).buffer, 28), 0xFFFFFFFEu);
}

TEST_F(VrocSimDriver, MalformedListRequestsAreRefusedAsTheDriverRefusesThem) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> request;
    std::uint32_t outSize;
    std::uint32_t returnCode;
  };
  auto with = [](std::vector<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
    putLe32(bytes, offset, value);
    return bytes;
  };
  auto signature = volumeInfo();
  signature[11] = 'd';
  const Case cases[] = {
      {"signature", signature, 132, 2},
      {"Length", with(volumeInfo(), 24, 100), 132, 3},
      {"timeout", with(volumeInfo(), 12, 30), 132, 1},
      {"target in ReturnCode", with(volumeInfo(), 20, 1), 132, 14},
      {"volume 0", with(volumeInfo(), 28, 0), 132, 14},
      {"volume 2", with(volumeInfo(), 28, 2), 132, 14},
      {"stray payload", with(volumeInfo(), 128, 1), 132, 1},
      {"output length", volumeInfo(), 136, 4},
      {"count payload", with(header(32, 40, 0xE0002014, 0), 28, 1), 32, 1},
      {"count length", header(36, 40, 0xE0002014, 0), 36, 3},
      {"unknown control code", header(32, 40, 0xE0002010, 0), 32, 1},
      {"capacity not whole entries", with(memberList(2), 32, 200), 256, 3},
      {"capacity not the buffer", with(memberList(2), 32, 108), 256, 3},
      {"list too short for the volume", memberList(1), 148, 4},
      {"member list volume 2", with(memberList(2), 28, 2), 256, 14},
      {"pass-through capacity", with(passThroughList(1), 28, 216), 144, 3},
      {"pass-through list too short", passThroughList(0), 36, 4},
  };
  for (const Case& c : cases) {
    const Reply reply = call(c.request, c.outSize);
    ASSERT_TRUE(reply.result.ok) << c.name;
    EXPECT_EQ(reply.returnCode(), c.returnCode) << c.name;
    EXPECT_EQ(reply.result.bytesReturned, 28u) << c.name;  // nothing but the header
  }
}

TEST_F(VrocSimDriver, TheSrbHeaderIsCheckedBeforeTheDriverSeesTheRequest) {
  EXPECT_EQ(call(volumeInfo(), 132, 0x4D004).result.error, ERROR_INVALID_FUNCTION);
  auto headerLength = volumeInfo();
  putLe32(headerLength, 0, 24);
  EXPECT_EQ(call(headerLength).result.error, ERROR_INVALID_PARAMETER);
  auto tooLong = volumeInfo();
  putLe32(tooLong, 24, 200);
  EXPECT_FALSE(call(tooLong).result.ok);
  EXPECT_EQ(call(std::vector<std::uint8_t>(20, 0), 20).result.error, ERROR_INVALID_PARAMETER);
}

TEST_F(VrocSimDriver, IdentifyReturnsTheDriveDataWithACompletionEntry) {
  const Reply first = call(expectedIdentify(0x01000001));
  ASSERT_TRUE(first.result.ok);
  EXPECT_EQ(first.result.bytesReturned, 4252u);
  EXPECT_EQ(first.returnCode(), 0u);
  EXPECT_EQ(first.dword3(), 0x00010000u);  // status 0, phase tag, command 0
  const auto data = drive("m2").identify();
  EXPECT_TRUE(std::equal(data.begin(), data.end(), first.buffer.begin() + 152));
  EXPECT_EQ(ascii(first.buffer, 152 + 64, 8), "GXB2LTMW");
  EXPECT_EQ(call(expectedIdentify(0x02000000)).dword3(), 0x00010001u);
}

TEST_F(VrocSimDriver, MalformedPassThroughRequestsGetTheDriverCodeOrAnNvmeStatus) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> request;
    std::uint32_t outSize;
    std::uint32_t returnCode;
    std::uint32_t nvmeStatus;  // when returnCode is 0
  };
  auto with = [](std::vector<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
    putLe32(bytes, offset, value);
    return bytes;
  };
  PatternedImage image;
  const auto identify = expectedIdentify(0x01000000);
  const auto piece = expectedDownload(0x01000000, 0, 4096);
  const auto commit = expectedCommit(0x01000000);
  const Case cases[] = {
      {"unknown disk", expectedIdentify(0x01000007), 4252, 14, 0},
      {"vendor dword", with(identify, 40, 1), 4252, 9, 0},
      {"queue id", with(piece, 136, 1), 153, 6, 0},
      {"metadata length", with(piece, 144, 16), 153, 12, 0},
      {"identify direction", with(identify, 132, 1), 4252, 11, 0},
      {"download direction", with(piece, 132, 2), 153, 11, 0},
      {"identify timeout", with(identify, 12, 30), 4252, 1, 0},
      {"download timeout", with(piece, 12, 40), 153, 1, 0},
      {"completion sent", with(commit, 128, 1), 153, 1, 0},
      {"identify return length", with(identify, 148, 153), 4252, 4, 0},
      {"identify output length", identify, 153, 4, 0},
      {"identify data length", with(identify, 140, 4096), 4252, 3, 0},
      {"download output length", piece, 4256, 4, 0},
      {"download return length", with(piece, 148, 4256), 153, 4, 0},
      {"download data length", with(piece, 140, 2048), 153, 3, 0},
      {"commit data length", with(commit, 140, 1), 153, 3, 0},
      {"commit output length", commit, 160, 4, 0},
      {"unsupported opcode", with(identify, 52, 0x0C), 4252, 5, 0},
      {"identify CNS 0", with(identify, 92, 0), 4252, 0, 0x002},
      {"identify namespace", with(identify, 56, 1), 4252, 0, 0x002},
      {"NUMD not the data", with(piece, 92, 1024), 153, 0, 0x002},
      {"command identifier sent", with(piece, 52, 0x00050011), 153, 0, 0x002},
      {"commit boot partition bit", with(commit, 92, 0x8000000A), 153, 0, 0x002},
  };
  for (const Case& c : cases) {
    const Reply reply = call(c.request, c.outSize);
    ASSERT_TRUE(reply.result.ok) << c.name;
    EXPECT_EQ(reply.returnCode(), c.returnCode) << c.name;
    if (c.returnCode == 0)
      EXPECT_EQ(reply.dword3() >> 17, c.nvmeStatus) << c.name;
    else
      EXPECT_EQ(reply.result.bytesReturned, 28u) << c.name;
  }
  EXPECT_EQ(drive("m1").acceptedPieces(), 0u);
  EXPECT_EQ(drive("m1").commitCount(), 0u);
}

TEST_F(VrocSimDriver, AWholeImageCommittedToSlotTwoRunsAfterTheNextReset) {
  PatternedImage image;
  std::memcpy(imageBuffer + 0x42, "GXB4LTMW", 8);
  for (std::uint32_t i = 0; i < 512; ++i) {
    const Reply reply = call(expectedDownload(0x01000001, i * 4096, 4096), 153);
    ASSERT_EQ(reply.returnCode(), 0u) << i;
    ASSERT_EQ(reply.dword3() >> 17, 0u) << i;
    ASSERT_EQ(reply.result.bytesReturned, 153u);
  }
  const Reply committed = call(expectedCommit(0x01000001));
  EXPECT_EQ(committed.returnCode(), 0u);
  EXPECT_EQ(committed.dword3(), 0x00010000u | 512u);
  EXPECT_EQ(drive("m2").runningRevision(), "GXB2LTMW");
  EXPECT_EQ(drive("m2").revisionAfterReset(), "GXB4LTMW");
  EXPECT_TRUE(drive("m2").activationPending());
  ASSERT_TRUE(drive("m2").committed().has_value());
  EXPECT_EQ(drive("m2").committed()->length, 0x200000u);
  EXPECT_EQ(drive("m1").acceptedPieces(), 0u);  // addressed by disk id alone
}

TEST_F(VrocSimDriver, FirmwareSlotLogAnswersOnlyTheIdentifyBlockWithTheLogCommand) {
  PatternedImage image;
  std::memcpy(imageBuffer + 0x42, "GXB4LTMW", 8);
  for (std::uint32_t i = 0; i < 512; ++i) ASSERT_EQ(call(expectedDownload(0x01000001, i * 4096, 4096), 153).dword3() >> 17, 0u);
  ASSERT_EQ(call(expectedCommit(0x01000001)).dword3() >> 17, 0u);  // slot 2, activated at the next reset

  const auto request = test::vrocFirmwareSlotLogRequest(0x01000001);
  EXPECT_EQ(port_->requestKind(kScsiMiniport, request), "vroc.getLogPage");
  EXPECT_EQ(port_->requestDrive(kScsiMiniport, request), "m2");
  const Reply log = call(request);
  ASSERT_TRUE(log.result.ok);
  EXPECT_EQ(log.result.bytesReturned, 4252u);
  EXPECT_EQ(log.returnCode(), 0u);
  EXPECT_EQ(log.dword3() & 0xFFFF0000u, 0x00010000u);  // success, phase tag
  EXPECT_EQ(log.buffer[152], 0x22);                    // AFI: slot 2 running, slot 2 at the next reset
  EXPECT_TRUE(std::all_of(log.buffer.begin() + 153, log.buffer.begin() + 160, [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(ascii(log.buffer, 152 + 8, 8), "GXB1LTMW");
  EXPECT_EQ(ascii(log.buffer, 152 + 16, 8), "GXB4LTMW");
  EXPECT_TRUE(std::all_of(log.buffer.begin() + 152 + 24, log.buffer.begin() + 152 + 512,
                          [](std::uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::all_of(log.buffer.begin() + 152 + 512, log.buffer.begin() + 4248,
                          [](std::uint8_t b) { return b == 0x55; }));
  EXPECT_EQ(ascii(drive("m2").identify(), 64, 8), "GXB2LTMW");
  EXPECT_EQ(call(test::vrocFirmwareSlotLogRequest(0x02000000)).buffer[152], 0x02);  // nothing pending

  // Every field of the block one value off.
  struct Case {
    const char* name;
    std::size_t offset;
    std::uint32_t value;
    std::uint32_t outSize;
    std::uint32_t returnCode;
    std::uint32_t nvmeStatus;  // when returnCode is 0
  };
  const Case cases[] = {
      {"timeout", 12, 30, 4252, 1, 0},
      {"vendor dword", 28, 1, 4252, 9, 0},
      {"direction", 132, 1, 4252, 11, 0},
      {"data length", 140, 4096, 4252, 3, 0},
      {"return length", 148, 4096, 4252, 4, 0},
      {"output size", 148, 4252, 4096, 4, 0},
      {"unknown disk", 20, 0x01000007, 4252, 14, 0},
      {"NSID", 56, 0xFFFFFFFE, 4252, 0, 0x002},
      {"NSID of identify", 56, 0, 4252, 0, 0x002},
      {"LID", 92, 0x007F0002, 4252, 0, 0x002},
      {"NUMDL", 92, 0x00FF0003, 4252, 0, 0x002},
      {"dword 2", 60, 1, 4252, 0, 0x002},
      {"dword 11", 96, 1, 4252, 0, 0x002},
      {"dword 15", 112, 1, 4252, 0, 0x002},
      {"command identifier", 52, 0x00010002, 4252, 0, 0x002},
  };
  for (const Case& c : cases) {
    auto bytes = test::vrocFirmwareSlotLogRequest(0x01000001);
    putLe32(bytes, c.offset, c.value);
    const Reply reply = call(bytes, c.outSize);
    ASSERT_TRUE(reply.result.ok) << c.name;
    EXPECT_EQ(reply.returnCode(), c.returnCode) << c.name;
    if (c.returnCode == 0) {
      EXPECT_EQ(reply.dword3() >> 17, c.nvmeStatus) << c.name;
      EXPECT_EQ(reply.buffer[152], 0x55) << c.name;
    } else {
      EXPECT_EQ(reply.result.bytesReturned, 28u) << c.name;
    }
  }
}

TEST_F(VrocSimDriver, ACommitWithoutTheWholeImageIsAnInvalidFirmwareImage) {
  PatternedImage image;
  ASSERT_EQ(call(expectedDownload(0x02000000, 0, 4096), 153).dword3() >> 17, 0u);
  const Reply committed = call(expectedCommit(0x02000000));
  EXPECT_EQ(committed.returnCode(), 0u);
  EXPECT_EQ(committed.dword3() >> 17, 0x107u);
  EXPECT_EQ(drive("p1").revisionAfterReset(), "GXR4LTMW");
}

TEST_F(VrocSimDriver, RequestsAreNamedByKindAndByTheDriveTheyAddress) {
  PatternedImage image;
  EXPECT_EQ(port_->requestKind(kScsiMiniport, header(32, 40, 0xE0002014, 0)), "vroc.volumeCount");
  EXPECT_EQ(port_->requestKind(kScsiMiniport, header(32, 40, 0xE0002028, 0)), "vroc.passThroughCount");
  EXPECT_EQ(port_->requestKind(kScsiMiniport, volumeInfo()), "vroc.volumeInfo");
  EXPECT_EQ(port_->requestKind(kScsiMiniport, memberList(1)), "vroc.memberList");
  EXPECT_EQ(port_->requestKind(kScsiMiniport, passThroughList(1)), "vroc.passThroughList");
  EXPECT_EQ(port_->requestKind(kScsiMiniport, expectedIdentify(1)), "vroc.identify");
  EXPECT_EQ(port_->requestKind(kScsiMiniport, expectedDownload(1, 0, 4096)), "vroc.download");
  EXPECT_EQ(port_->requestKind(kScsiMiniport, expectedCommit(1)), "vroc.commit");
  EXPECT_EQ(port_->requestKind(0x2D1400, expectedCommit(1)), "unknown");
  EXPECT_EQ(port_->requestDrive(kScsiMiniport, expectedCommit(0x02000000)), "p1");
  EXPECT_EQ(port_->requestDrive(kScsiMiniport, expectedCommit(0x02000009)), "");
  EXPECT_EQ(port_->requestDrive(kScsiMiniport, memberList(2)), "");
}

TEST_F(VrocSimDriver, ADescriptionThatReusesADiskIdOrNamesNoDriveIsRefused) {
  section_["passThrough"][0]["diskId"] = "0x01000001";
  EXPECT_THROW(rebuild(), sim::DescriptionError);
  section_["passThrough"][0]["diskId"] = 7;
  section_["passThrough"][0]["drive"] = "nowhere";
  EXPECT_THROW(rebuild(), sim::DescriptionError);
  section_["passThrough"][0]["drive"] = "p1";
  section_["volumes"][0]["stripe"] = 4;
  EXPECT_THROW(rebuild(), sim::DescriptionError);
}

}  // namespace
}  // namespace koa::test::vroc
