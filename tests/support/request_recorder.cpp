#include "tests/support/request_recorder.h"

#include <algorithm>

namespace koa::test {
namespace {

// Enough of an answer for every header and status the invariants read (the
// NvmeRAID completion entry ends at 132).
constexpr std::size_t kOutputKept = 160;

}  // namespace

bool isDownloadRequest(const std::string& kind) {
  return kind == "inbox.download" || kind == "irst.download" || kind == "vroc.download";
}
bool isActivationRequest(const std::string& kind) {
  return kind == "inbox.activate" || kind == "irst.activate" || kind == "vroc.commit";
}

bool RequestRecorder::DeviceIoControl(Handle device, std::uint32_t ioControlCode, void* inBuffer,
                                      std::uint32_t inBufferSize, void* outBuffer, std::uint32_t outBufferSize,
                                      std::uint32_t* bytesReturned) {
  // The input is copied first: input and output are often one buffer.
  std::vector<std::uint8_t> input;
  if (inBuffer != nullptr) {
    const auto* bytes = static_cast<const std::uint8_t*>(inBuffer);
    input.assign(bytes, bytes + inBufferSize);
  }
  const bool ok = PlatformWrapper::DeviceIoControl(device, ioControlCode, inBuffer, inBufferSize, outBuffer,
                                                   outBufferSize, bytesReturned);
  const auto& entry = machine_.trace().entries().back();
  const std::string kind = entry.value("request", "");
  if (isDownloadRequest(kind) || isActivationRequest(kind)) {
    RecordedRequest request;
    request.seq = entry.value("seq", std::size_t{0});
    request.kind = kind;
    request.drive = entry.value("drive", std::string());
    request.path = entry.value("path", std::string());
    request.succeeded = ok;
    request.input = std::move(input);
    if (outBuffer != nullptr) {
      const auto* bytes = static_cast<const std::uint8_t*>(outBuffer);
      request.output.assign(bytes, bytes + std::min<std::size_t>(outBufferSize, kOutputKept));
    }
    requests_.push_back(std::move(request));
  }
  return ok;
}

}  // namespace koa::test
