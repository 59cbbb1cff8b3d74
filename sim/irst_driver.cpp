// Placeholder for the IRST controller until the IRST path's driver lands:
// it checks its drive references and answers no request.
#include "platform/win_types.h"
#include "sim/drivers.h"

namespace koa::sim {

namespace {

class IrstController : public SimDevice {
 public:
  explicit IrstController(nlohmann::json section) : section_(std::move(section)) {}

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

std::unique_ptr<SimDevice> makeIrstController(const JsonField& section, const DriveTable& drives) {
  section.allowOnly({"drives"});
  if (auto list = section.optional("drives"))
    for (const auto& entry : list->items()) (void)referencedDrive(entry["drive"], drives);
  return std::make_unique<IrstController>(section.json());
}

}  // namespace koa::sim
