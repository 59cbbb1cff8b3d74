#include "sim/miniport_firmware.h"

#include "sim/sim_bytes.h"

namespace koa::sim::firmware {

bool blockWellFormed(std::span<const std::uint8_t> request, std::size_t blockAt) {
  const std::size_t dataAt = blockAt + kBlockBytes;
  return le32(request, blockAt + kBlockVersion) == kBlockStructVersion &&
         le32(request, blockAt + kBlockSize) == kBlockBytes &&
         le32(request, blockAt + kFlags) == kFlagController &&
         le32(request, blockAt + kDataBufferOffset) == dataAt &&
         le32(request, blockAt + kDataBufferLength) == request.size() - dataAt;
}

std::uint32_t statusOf(std::uint16_t nvmeStatus) {
  switch (nvmeStatus) {
    case kNvmeSuccess: return kStatusSuccess;
    case kNvmeInvalidOpcode: return kStatusIllegalRequest;
    case kNvmeInvalidField:
    case kNvmeOverlappingRange: return kStatusInvalidParameter;
    case kNvmeInvalidFirmwareSlot: return kStatusInvalidSlot;
    case kNvmeInvalidFirmwareImage: return kStatusInvalidImage;
    case kNvmeActivationRequiresConventionalReset:
    case kNvmeActivationRequiresSubsystemReset:
    case kNvmeActivationRequiresControllerReset: return kStatusPowerCycleRequired;
    default: return kStatusError;
  }
}

std::uint32_t commitStatusOf(const NvmeDrive& drive, std::uint16_t nvmeStatus) {
  if (nvmeStatus == kNvmeSuccess && drive.activationPending()) return kStatusPowerCycleRequired;
  return statusOf(nvmeStatus);
}

}  // namespace koa::sim::firmware
