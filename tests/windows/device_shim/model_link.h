// The shim's one connection to the model (sim/host/shim_protocol.h). A
// driver in Wine is a user-mode PE inside winedevice.exe, which is why it
// may use ws2_32; this is a test harness, never a Windows driver.
//
// Every exchange is bounded: a model that does not answer within
// kAnswerTimeoutMs fails the exchange, and a failed exchange closes the
// connection, so that every later request fails at once instead of waiting.
#pragma once

#include "shim_kernel.h"
#include "sim/host/shim_protocol.h"

namespace koa::shim {

inline constexpr ULONG kAnswerTimeoutMs = 60000;

struct Answer {
  std::uint32_t error = 0;   // the Windows error the model answered with
  std::uint32_t length = 0;  // payload bytes, received into the caller's buffer
};

struct Request {
  Op op = Op::Hello;
  std::uint32_t file = 0;
  std::uint32_t name = 0;
  std::uint32_t a = 0;
  std::uint32_t b = 0;
  const void* input = nullptr;
  std::uint32_t inputLength = 0;
};

// Connects to 127.0.0.1:port; called before any other function here.
// False when nothing listens there.
[[nodiscard]] bool connectModel(std::uint16_t port);
void disconnectModel();
[[nodiscard]] bool modelConnected();

// Sends `request` and receives the answer; the payload goes to `payload`
// (capacity bytes). An answer out of protocol (bad magic, a payload larger
// than the capacity) fails like a broken connection. Exchanges from several
// threads take turns.
[[nodiscard]] bool exchange(const Request& request, void* payload, std::uint32_t capacity, Answer& answer);

// The Hello exchange, whose payload size only the answer tells: the device
// list in a pool buffer the caller frees with ExFreePoolWithTag.
[[nodiscard]] bool receiveDeviceList(std::uint8_t*& list, std::uint32_t& length);

// Tells the model what the shim could not present (one line), and writes it
// with DbgPrint; harmless without a connection.
void report(const Message& message);

}  // namespace koa::shim
