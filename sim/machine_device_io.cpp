// Handles and DeviceIoControl on the simulated machine.
#include <algorithm>
#include <cstring>

#include "sim/machine.h"
#include "sim/wide_text.h"

namespace koa::sim {

namespace {

// The access an I/O control code demands of the handle (bits 15:14).
constexpr std::uint32_t kFileReadAccess = 1;
constexpr std::uint32_t kFileWriteAccess = 2;
constexpr std::uint32_t kGenericAll = 0x10000000u;
constexpr std::uint32_t kFileReadData = 0x1;
constexpr std::uint32_t kFileWriteData = 0x2;

bool mayRead(std::uint32_t access) { return (access & (GENERIC_READ | kGenericAll | kFileReadData)) != 0; }
bool mayWrite(std::uint32_t access) { return (access & (GENERIC_WRITE | kGenericAll | kFileWriteData)) != 0; }

}  // namespace

bool Machine::sharingAllows(std::size_t target, std::uint32_t access, std::uint32_t shareMode) const {
  for (const auto& [handle, open] : handles_) {
    if (open.target != target) continue;
    if (shareMode == 0 || open.shareMode == 0) return false;
    if (mayRead(access) && (open.shareMode & FILE_SHARE_READ) == 0) return false;
    if (mayWrite(access) && (open.shareMode & FILE_SHARE_WRITE) == 0) return false;
    if (mayRead(open.access) && (shareMode & FILE_SHARE_READ) == 0) return false;
    if (mayWrite(open.access) && (shareMode & FILE_SHARE_WRITE) == 0) return false;
  }
  return true;
}

std::uint32_t Machine::openError(const char16_t* fileName, std::uint32_t creationDisposition,
                                 std::size_t& target) const {
  if (fileName == nullptr) return ERROR_INVALID_PARAMETER;
  auto it = machine_.paths.find(normalisedDevicePath(fromWideZ(fileName)));
  if (it == machine_.paths.end()) return ERROR_FILE_NOT_FOUND;
  // A device can only be opened, never created.
  if (creationDisposition != OPEN_EXISTING) return ERROR_INVALID_PARAMETER;
  if (!machine_.elevated) return ERROR_ACCESS_DENIED;
  target = it->second;
  return 0;
}

std::optional<std::size_t> Machine::targetOpenedBy(const char16_t* fileName, std::uint32_t creationDisposition) const {
  std::size_t target = 0;
  if (openError(fileName, creationDisposition, target) != 0) return std::nullopt;
  return target;
}

Handle Machine::CreateFileW(const char16_t* fileName, std::uint32_t desiredAccess, std::uint32_t shareMode,
                            std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) {
  if (fileName != nullptr && machine_.paths.count(normalisedDevicePath(fromWideZ(fileName))) == 0 &&
      FileSystem::claims(fromWideZ(fileName))) {
    std::uint32_t error = 0;
    const Handle handle = nextFile_;
    const bool opened = files_.open(handle, fromWideZ(fileName), creationDisposition, flagsAndAttributes, error);
    lastError_ = error;
    if (!opened) return kInvalidHandle;
    nextFile_ += 4;
    return handle;
  }
  std::size_t target = 0;
  if (const std::uint32_t error = openError(fileName, creationDisposition, target); error != 0) {
    fail(error);
    return kInvalidHandle;
  }
  if (!sharingAllows(target, desiredAccess, shareMode)) {
    fail(ERROR_SHARING_VIOLATION);
    return kInvalidHandle;
  }
  // CreateFileW sets the last error on success too: 0 for an open of an
  // existing file or device (Windows and Wine alike).
  lastError_ = ERROR_SUCCESS;
  const Handle handle = nextHandle_;
  nextHandle_ += 4;
  handles_.emplace(handle, OpenHandle{target, fromWideZ(fileName), desiredAccess, shareMode,
                                      (flagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0});
  return handle;
}

bool Machine::CloseHandle(Handle object) {
  return handles_.erase(object) == 1 || tokens_.erase(object) == 1 || mutexHandles_.erase(object) == 1 ||
         files_.close(object) ||
         fail(ERROR_INVALID_HANDLE);
}

std::optional<std::u16string> Machine::pathOf(Handle handle) const {
  auto it = handles_.find(handle);
  if (it == handles_.end()) return std::nullopt;
  return it->second.path;
}

bool Machine::DeviceIoControl(Handle device, std::uint32_t ioControlCode, void* inBuffer, std::uint32_t inBufferSize,
                              void* outBuffer, std::uint32_t outBufferSize, std::uint32_t* bytesReturned) {
  auto request = acceptRequest(device, ioControlCode, inBuffer, inBufferSize, outBuffer, outBufferSize, bytesReturned);
  if (!request) return false;
  const IoResult answer = sendToDevice(*request);
  return completeRequest(*request, answer, outBuffer, bytesReturned);
}

std::optional<PendingRequest> Machine::acceptRequest(Handle device, std::uint32_t code, const void* in,
                                                     std::uint32_t inSize, const void* out, std::uint32_t outSize,
                                                     std::uint32_t* bytesReturned) {
  const auto refuse = [this](std::uint32_t error) {
    fail(error);
    return std::optional<PendingRequest>();
  };
  auto it = handles_.find(device);
  if (it == handles_.end()) return refuse(ERROR_INVALID_HANDLE);
  const OpenHandle& open = it->second;
  // Without an OVERLAPPED structure an overlapped handle's request has no
  // defined completion; the system never means to do that.
  if (open.overlapped) return refuse(ERROR_INVALID_PARAMETER);
  if ((in == nullptr && inSize != 0) || (out == nullptr && outSize != 0)) return refuse(kErrorNoAccess);
  if (bytesReturned == nullptr) return refuse(ERROR_INVALID_PARAMETER);
  *bytesReturned = 0;
  const std::uint32_t required = (code >> 14) & 3;
  if (((required & kFileReadAccess) != 0 && !mayRead(open.access)) ||
      ((required & kFileWriteAccess) != 0 && !mayWrite(open.access)))
    return refuse(ERROR_ACCESS_DENIED);

  // METHOD_BUFFERED: one system buffer, the input copied in before the
  // driver runs, the output copied out after it.
  PendingRequest request{open.target, {}, {}, code, inSize, outSize,
                         std::vector<std::uint8_t>(std::max(inSize, outSize), 0)};
  if (inSize != 0) std::memcpy(request.system.data(), in, inSize);
  const std::span<const std::uint8_t> input(request.system.data(), inSize);
  const SimDevice& target = *machine_.targets[request.target].device;
  request.kind = target.requestKind(code, input);
  request.drive = target.requestDrive(code, input);
  return request;
}

IoResult Machine::sendToDevice(PendingRequest& request) {
  const IoResult answer =
      machine_.targets[request.target].device->deviceIoControl(request.code, request.system, request.inSize,
                                                               request.outSize);
  const std::size_t size = std::max(request.inSize, request.outSize);
  if (request.system.size() < size) request.system.resize(size, 0);
  return answer;
}

bool Machine::completeRequest(const PendingRequest& request, const IoResult& answer, void* out,
                              std::uint32_t* bytesReturned) {
  if (!answer.ok && answer.error != kErrorMoreData) return fail(answer.error);
  const std::uint32_t copied = std::min(request.outSize, answer.bytesReturned);
  if (copied != 0) std::memcpy(out, request.system.data(), copied);
  *bytesReturned = copied;
  return answer.ok || fail(answer.error);
}

}  // namespace koa::sim
