// Handles and DeviceIoControl on the simulated machine, with the
// description's faults applied.
#include <algorithm>
#include <cstring>

#include "sim/sim_bytes.h"
#include "sim/simulated_machine.h"
#include "sim/srb_io_control_layout.h"
#include "sim/vroc_layout.h"
#include "sim/wide_text.h"

namespace koa::sim {

namespace {

// The SRB_IO_CONTROL ReturnCode and the NvmeRAID pass-through's completion
// dword 3, which the returnCode and completionStatus faults write.
constexpr std::size_t kSrbReturnCodeOffset = srb::kReturnCodeAt;
constexpr std::size_t kCompletionDword3Offset = vroc::completionDword(3);
constexpr unsigned kCompletionStatusShift = vroc::kStatusShift;

// The access an I/O control code demands of the handle (bits 15:14).
constexpr std::uint32_t kFileReadAccess = 1;
constexpr std::uint32_t kFileWriteAccess = 2;
constexpr std::uint32_t kGenericAll = 0x10000000u;
constexpr std::uint32_t kFileReadData = 0x1;
constexpr std::uint32_t kFileWriteData = 0x2;

bool mayRead(std::uint32_t access) { return (access & (GENERIC_READ | kGenericAll | kFileReadData)) != 0; }
bool mayWrite(std::uint32_t access) { return (access & (GENERIC_WRITE | kGenericAll | kFileWriteData)) != 0; }

const char* faultName(FaultAction action) {
  switch (action) {
    case FaultAction::FailOpen: return "failOpen";
    case FaultAction::Fail: return "fail";
    case FaultAction::ReturnCode: return "returnCode";
    case FaultAction::CompletionStatus: return "completionStatus";
    case FaultAction::Patch: return "patch";
    case FaultAction::Output: return "output";
  }
  return "";
}

void writeDword(std::vector<std::uint8_t>& buffer, std::size_t offset, std::uint32_t value) {
  if (offset + 4 <= buffer.size()) setLe32(buffer, offset, value);
}

}  // namespace

bool SimulatedMachine::sharingAllows(std::size_t target, std::uint32_t access, std::uint32_t shareMode) const {
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

const Fault* SimulatedMachine::dueFault(FaultAction open, std::size_t target, const std::string& kind,
                                        const std::string& drive) {
  const Fault* due = nullptr;
  for (std::size_t i = 0; i < machine_.faults.size(); ++i) {
    const Fault& fault = machine_.faults[i];
    if (fault.call != 0 || fault.target != target) continue;
    if ((fault.action == FaultAction::FailOpen) != (open == FaultAction::FailOpen)) continue;
    if (open != FaultAction::FailOpen && (fault.request != kind || (!fault.drive.empty() && fault.drive != drive)))
      continue;
    const std::uint32_t seen = ++faultCounts_[i];
    if (due == nullptr && (fault.nth == 0 || fault.nth == seen)) due = &fault;
  }
  return due;
}

const Fault* SimulatedMachine::callFault() const {
  const std::uint64_t call = trace_.nextSeq();
  for (const Fault& fault : machine_.faults)
    if (fault.call == call) return &fault;
  return nullptr;
}

bool SimulatedMachine::failedByCallFault(nlohmann::json& entry) {
  const Fault* fault = callFault();
  if (fault == nullptr || fault->action != FaultAction::Fail) return false;
  entry["fault"] = fault->jsonPath;
  fail(fault->error);
  return true;
}

Handle SimulatedMachine::CreateFileW(const char16_t* fileName, std::uint32_t desiredAccess, std::uint32_t shareMode,
                                     std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) {
  const std::u16string path = fromWideZ(fileName);
  nlohmann::json entry = {{"op", "CreateFileW"}, {"path", toUtf8(path)}, {"desiredAccess", desiredAccess},
                          {"shareMode", shareMode}, {"creationDisposition", creationDisposition},
                          {"flagsAndAttributes", flagsAndAttributes}};
  Handle result = kInvalidHandle;
  auto it = fileName == nullptr ? machine_.paths.end() : machine_.paths.find(normalisedDevicePath(path));
  if (failedByCallFault(entry)) {
    // The call-number fault set the error.
  } else if (fileName == nullptr) {
    fail(ERROR_INVALID_PARAMETER);
  } else if (it == machine_.paths.end()) {
    fail(ERROR_FILE_NOT_FOUND);
  } else if (creationDisposition != OPEN_EXISTING) {
    // A device can only be opened, never created.
    fail(ERROR_INVALID_PARAMETER);
  } else if (!machine_.elevated) {
    fail(ERROR_ACCESS_DENIED);
  } else if (const Fault* fault = dueFault(FaultAction::FailOpen, it->second, "", "")) {
    entry["fault"] = fault->jsonPath;
    fail(fault->error);
  } else if (!sharingAllows(it->second, desiredAccess, shareMode)) {
    fail(ERROR_SHARING_VIOLATION);
  } else {
    // CreateFileW sets the last error on success too: 0 for an open of an
    // existing file or device (Windows and Wine alike).
    lastError_ = ERROR_SUCCESS;
    result = nextHandle_;
    nextHandle_ += 4;
    handles_.emplace(result, OpenHandle{it->second, path, desiredAccess, shareMode,
                                        (flagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0});
  }
  entry["result"] = result;
  entry["lastError"] = lastError_;
  trace_.record(std::move(entry));
  return result;
}

bool SimulatedMachine::CloseHandle(Handle object) {
  const bool ok = handles_.erase(object) == 1 || fail(ERROR_INVALID_HANDLE);
  trace_.record({{"op", "CloseHandle"}, {"handle", object}, {"result", ok}, {"lastError", lastError_}});
  return ok;
}

bool SimulatedMachine::DeviceIoControl(Handle device, std::uint32_t ioControlCode, void* inBuffer,
                                       std::uint32_t inBufferSize, void* outBuffer, std::uint32_t outBufferSize,
                                       std::uint32_t* bytesReturned) {
  nlohmann::json entry = {{"op", "DeviceIoControl"}, {"handle", device}, {"code", ioControlCode},
                          {"inSize", inBufferSize}, {"outSize", outBufferSize}};
  // No buffer is traced as no bytes. The dumps are the cost of a traced
  // request (four hex digits per byte sent), so they are made only when the
  // call is recorded and its bytes are wanted.
  const bool dump = trace_.active() && trace_.buffersRecorded();
  if (dump)
    entry["input"] = inBuffer == nullptr
                         ? std::string()
                         : toHex(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(inBuffer), inBufferSize));
  const bool ok =
      deviceIoControlTraced(device, ioControlCode, inBuffer, inBufferSize, outBuffer, outBufferSize, bytesReturned, entry);
  if (dump)
    entry["output"] = outBuffer == nullptr
                          ? std::string()
                          : toHex(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(outBuffer), outBufferSize));
  if (bytesReturned != nullptr) entry["bytesReturned"] = *bytesReturned;
  entry["result"] = ok;
  entry["lastError"] = lastError_;
  trace_.record(std::move(entry));
  return ok;
}

bool SimulatedMachine::deviceIoControlTraced(Handle device, std::uint32_t code, void* in, std::uint32_t inSize,
                                             void* out, std::uint32_t outSize, std::uint32_t* bytesReturned,
                                             nlohmann::json& entry) {
  auto it = handles_.find(device);
  if (it == handles_.end()) return fail(ERROR_INVALID_HANDLE);
  const OpenHandle& open = it->second;
  entry["path"] = toUtf8(open.path);
  // Without an OVERLAPPED structure an overlapped handle's request has no
  // defined completion; the system never means to do that.
  if (open.overlapped) return fail(ERROR_INVALID_PARAMETER);
  if ((in == nullptr && inSize != 0) || (out == nullptr && outSize != 0)) return fail(kErrorNoAccess);
  if (bytesReturned == nullptr) return fail(ERROR_INVALID_PARAMETER);
  *bytesReturned = 0;
  const std::uint32_t required = (code >> 14) & 3;
  if (((required & kFileReadAccess) != 0 && !mayRead(open.access)) ||
      ((required & kFileWriteAccess) != 0 && !mayWrite(open.access)))
    return fail(ERROR_ACCESS_DENIED);

  // METHOD_BUFFERED: one system buffer, the input copied in before the
  // driver runs, the output copied out after it.
  std::vector<std::uint8_t> system(std::max(inSize, outSize), 0);
  if (inSize != 0) std::memcpy(system.data(), in, inSize);
  const std::span<const std::uint8_t> input(system.data(), inSize);
  SimDevice& target = *machine_.targets[open.target].device;
  const std::string kind = target.requestKind(code, input);
  const std::string drive = target.requestDrive(code, input);
  entry["request"] = kind;
  if (!drive.empty()) entry["drive"] = drive;

  IoResult result;
  const Fault* fault = dueFault(FaultAction::Fail, open.target, kind, drive);
  if (const Fault* onCall = callFault()) fault = onCall;
  if (fault != nullptr) {
    entry["fault"] = fault->jsonPath;
    entry["faultAction"] = faultName(fault->action);
  }
  if (fault == nullptr || fault->action == FaultAction::Patch) {
    result = target.deviceIoControl(code, system, inSize, outSize);
    if (system.size() < std::max(inSize, outSize)) system.resize(std::max(inSize, outSize), 0);
    if (fault != nullptr && result.ok) {
      const std::size_t end = std::min<std::size_t>(fault->offset + fault->bytes.size(), outSize);
      for (std::size_t i = fault->offset; i < end; ++i) system[i] = fault->bytes[i - fault->offset];
      if (end > result.bytesReturned) result.bytesReturned = static_cast<std::uint32_t>(end);
    }
  } else if (fault->action == FaultAction::Fail) {
    result = ioFailure(fault->error);
  } else if (fault->action == FaultAction::ReturnCode) {
    writeDword(system, kSrbReturnCodeOffset, fault->value);
    result = ioSuccess(outSize);
  } else if (fault->action == FaultAction::CompletionStatus) {
    writeDword(system, kSrbReturnCodeOffset, 0);
    writeDword(system, kCompletionDword3Offset, fault->value << kCompletionStatusShift);
    result = ioSuccess(outSize);
  } else {  // Output
    const std::size_t length = std::min<std::size_t>(fault->bytes.size(), outSize);
    std::copy_n(fault->bytes.begin(), length, system.begin());
    result = ioSuccess(static_cast<std::uint32_t>(length));
  }

  // A failure copies nothing back, except the warning that more data was
  // there (ERROR_MORE_DATA), which copies what fits.
  if (!result.ok && result.error != kErrorMoreData) return fail(result.error);
  const std::uint32_t copied = std::min(outSize, result.bytesReturned);
  if (copied != 0) std::memcpy(out, system.data(), copied);
  *bytesReturned = copied;
  return result.ok || fail(result.error);
}

}  // namespace koa::sim
