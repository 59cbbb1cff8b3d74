#include "tests/vroc/port_recorder.h"

#include "report/console.h"

namespace koa::test::vroc {

std::vector<PortRecorder::Call> PortRecorder::callsWithControlCode(std::uint32_t controlCode) const {
  std::vector<Call> matching;
  for (const Call& call : calls)
    if (call.input.size() >= 20 && dwordAt(call.input, 16) == controlCode) matching.push_back(call);
  return matching;
}

CapturedRun::CapturedRun(PortRecorder& platform) {
  installPlatform(platform);
  console::setSinkForTesting([this](std::string_view text) { console_.append(text); });
}

CapturedRun::~CapturedRun() { console::setSinkForTesting({}); }

std::uint32_t dwordAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes.at(offset)) | static_cast<std::uint32_t>(bytes.at(offset + 1)) << 8 |
         static_cast<std::uint32_t>(bytes.at(offset + 2)) << 16 |
         static_cast<std::uint32_t>(bytes.at(offset + 3)) << 24;
}

void putDword(std::uint8_t* bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

void putDword(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
  putDword(bytes.data(), offset, value);
}

}  // namespace koa::test::vroc
