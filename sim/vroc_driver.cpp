// Placeholder for the VROC port until the VROC path's driver lands: it
// checks its drive references and answers no request.
#include "platform/win_types.h"
#include "sim/drivers.h"

namespace koa::sim {

namespace {

class VrocPort : public SimDevice {
 public:
  explicit VrocPort(nlohmann::json section) : section_(std::move(section)) {}

  IoResult deviceIoControl(std::uint32_t /*code*/, std::vector<std::uint8_t>& /*systemBuffer*/,
                           std::uint32_t /*inSize*/, std::uint32_t /*outSize*/) override {
    return ioFailure(ERROR_INVALID_FUNCTION);
  }
  std::string requestKind(std::uint32_t /*code*/, std::span<const std::uint8_t> /*input*/) const override {
    return "unknown";
  }
  nlohmann::json state() const override { return section_; }

 private:
  nlohmann::json section_;
};

}  // namespace

std::unique_ptr<SimDevice> makeVrocPort(const JsonField& section, const DriveTable& drives) {
  section.allowOnly({"volumes", "passThrough"});
  if (auto volumes = section.optional("volumes"))
    for (const auto& volume : volumes->items())
      for (const auto& member : volume["members"].items()) (void)referencedDrive(member["drive"], drives);
  if (auto passThrough = section.optional("passThrough"))
    for (const auto& entry : passThrough->items()) (void)referencedDrive(entry["drive"], drives);
  return std::make_unique<VrocPort>(section.json());
}

}  // namespace koa::sim
