#include "sim/host/model_server.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "sim/host/shim_protocol.h"
#include "sim/wide_text.h"

namespace koa::sim::host {

namespace {

constexpr std::uint32_t kErrorMoreData = 234;
// FILE_SYNCHRONOUS_IO_ALERT | FILE_SYNCHRONOUS_IO_NONALERT: a handle opened
// without FILE_FLAG_OVERLAPPED.
constexpr std::uint32_t kSynchronousOptions = 0x10 | 0x20;

bool receiveAll(int connection, std::uint8_t* bytes, std::size_t length) {
  while (length != 0) {
    const ssize_t received = ::recv(connection, bytes, length, 0);
    if (received < 0 && errno == EINTR) continue;
    if (received <= 0) return false;
    bytes += received;
    length -= static_cast<std::size_t>(received);
  }
  return true;
}

bool sendAll(int connection, const std::uint8_t* bytes, std::size_t length) {
  while (length != 0) {
    const ssize_t sent = ::send(connection, bytes, length, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes += sent;
    length -= static_cast<std::size_t>(sent);
  }
  return true;
}

// One send for the header and the payload: two would wait for the shim's
// acknowledgement of the first.
bool sendAnswer(int connection, std::uint32_t error, const std::vector<std::uint8_t>& payload) {
  std::vector<std::uint8_t> answer(shim::kAnswerSize + payload.size(), 0);
  shim::put32(answer.data() + shim::kAnswerMagicAt, shim::kMagic);
  shim::put32(answer.data() + shim::kAnswerErrorAt, error);
  shim::put32(answer.data() + shim::kAnswerLengthAt, static_cast<std::uint32_t>(payload.size()));
  std::copy(payload.begin(), payload.end(), answer.begin() + shim::kAnswerSize);
  return sendAll(connection, answer.data(), answer.size());
}

// Waits for the next request; false after `seconds` without one.
bool readable(int connection, int seconds) {
  pollfd wait = {connection, POLLIN, 0};
  for (;;) {
    const int ready = ::poll(&wait, 1, seconds * 1000);
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0;
  }
}

}  // namespace

ModelServer::ModelServer(Platform& machine, const Presentation& presentation, std::ostream& errors)
    : machine_(machine), presentation_(presentation), errors_(errors) {}

ServeEnd ModelServer::serve(int connection, const ServeLimits& limits) {
  std::vector<std::uint8_t> input;
  for (;;) {
    if (!readable(connection, limits.idleSeconds)) {
      errors_ << "koa-sim-host: the device shim sent nothing for " << limits.idleSeconds << " s\n";
      return ServeEnd::Idle;
    }
    std::uint8_t header[shim::kRequestSize];
    if (!receiveAll(connection, header, sizeof header)) {
      errors_ << "koa-sim-host: the device shim closed the connection without unloading\n";
      return ServeEnd::Vanished;
    }
    const std::uint32_t inputLength = shim::get32(header + shim::kRequestInputLengthAt);
    if (shim::get32(header + shim::kRequestMagicAt) != shim::kMagic || inputLength > shim::kMaxPayload) {
      errors_ << "koa-sim-host: the device shim sent a request out of protocol\n";
      return ServeEnd::Malformed;
    }
    input.assign(inputLength, 0);
    if (!receiveAll(connection, input.data(), inputLength)) {
      errors_ << "koa-sim-host: the device shim closed the connection inside a request\n";
      return ServeEnd::Vanished;
    }
    const auto op = static_cast<shim::Op>(shim::get32(header + shim::kRequestOpAt));
    const std::uint32_t file = shim::get32(header + shim::kRequestFileAt);
    const std::uint32_t a = shim::get32(header + shim::kRequestAAt);
    const std::uint32_t b = shim::get32(header + shim::kRequestBAt);
    const bool relayedRequest = op == shim::Op::Create || op == shim::Op::Close || op == shim::Op::DeviceControl;
    if (relayedRequest && limits.stopAfter != 0 && relayed_ == limits.stopAfter) {
      errors_ << "koa-sim-host: stopping after " << relayed_ << " requests, as --stop-after asks\n";
      return ServeEnd::Stopped;
    }
    Reply reply;
    switch (op) {
      case shim::Op::Hello: reply.payload = encodeDeviceList(presentation_); break;
      case shim::Op::Create:
        if (!create(file, shim::get32(header + shim::kRequestNameAt), a, b, reply)) {
          errors_ << "koa-sim-host: the device shim opened a name or a file number out of protocol\n";
          return ServeEnd::Malformed;
        }
        break;
      case shim::Op::Close: close(file); break;
      case shim::Op::DeviceControl: deviceControl(file, a, b, input, reply); break;
      case shim::Op::Report: report(input); break;
      case shim::Op::Goodbye: break;
      default:
        errors_ << "koa-sim-host: the device shim sent an unknown request\n";
        return ServeEnd::Malformed;
    }
    if (relayedRequest) ++relayed_;
    if (!sendAnswer(connection, reply.error, reply.payload)) {
      errors_ << "koa-sim-host: the device shim closed the connection before its answer\n";
      return ServeEnd::Vanished;
    }
    if (op == shim::Op::Goodbye) return ServeEnd::Goodbye;
  }
}

bool ModelServer::create(std::uint32_t file, std::uint32_t name, std::uint32_t shareMode, std::uint32_t options,
                         Reply& reply) {
  if (name >= presentation_.names.size() || file == 0 || files_.contains(file)) return false;
  const std::u16string& path = presentation_.names[name].path;
  const bool overlapped = (options & kSynchronousOptions) == 0;
  const Handle handle = machine_.CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, shareMode, OPEN_EXISTING,
                                             overlapped ? FILE_FLAG_OVERLAPPED : 0);
  files_[file] = handle;
  if (handle == kInvalidHandle) {
    reply.error = machine_.GetLastError();
    diverged_ = true;
    errors_ << "koa-sim-host: the machine refuses the open of " << toUtf8(path) << " (error " << reply.error
            << ") that Wine has already granted: Wine 8 gives a driver no say in an open\n";
  }
  return true;
}

void ModelServer::close(std::uint32_t file) {
  auto it = files_.find(file);
  if (it == files_.end()) return;
  // A handle the machine refused is closed too: the machine answers that as
  // it answers a handle that is not open.
  machine_.CloseHandle(it->second);
  files_.erase(it);
}

Handle ModelServer::handleOf(std::uint32_t file) const {
  auto it = files_.find(file);
  return it == files_.end() ? kInvalidHandle : it->second;
}

void ModelServer::deviceControl(std::uint32_t file, std::uint32_t code, std::uint32_t outSize,
                                std::vector<std::uint8_t>& input, Reply& reply) {
  // One buffer for the input and the output, as METHOD_BUFFERED gives the
  // driver and as the program hands the same buffer in and out.
  const auto inSize = static_cast<std::uint32_t>(input.size());
  std::vector<std::uint8_t> buffer(std::max(inSize, outSize), 0);
  std::copy(input.begin(), input.end(), buffer.begin());
  std::uint32_t returned = 0;
  if (machine_.DeviceIoControl(handleOf(file), code, buffer.data(), inSize, buffer.data(), outSize, &returned)) {
    reply.payload.assign(buffer.begin(), buffer.begin() + returned);
    return;
  }
  reply.error = machine_.GetLastError();
  // ERROR_MORE_DATA comes with the part of the output that fits.
  if (reply.error == kErrorMoreData) reply.payload.assign(buffer.begin(), buffer.begin() + returned);
}

void ModelServer::report(const std::vector<std::uint8_t>& text) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2)
    units += static_cast<char16_t>(text[i] | text[i + 1] << 8);
  errors_ << "koa-sim-host: device shim: " << toUtf8(units) << '\n';
  diverged_ = true;
}

}  // namespace koa::sim::host
