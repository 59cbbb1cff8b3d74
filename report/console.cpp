#include "report/console.h"

#include <cstdio>
#include <utility>

#include "report/utf16_to_utf8.h"

namespace koa::console {
namespace {

std::function<void(std::string_view)>& testSink() {
  static std::function<void(std::string_view)> sink;
  return sink;
}

// One byte sink for every channel: nothing buffers text of its own, so
// the order of the calls is the order on standard output. The C runtime's
// text mode decides the line ends on Windows.
void write(std::string_view bytes) {
  if (const auto& sink = testSink()) {
    sink(bytes);
    return;
  }
  if (!bytes.empty()) (void)std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  (void)std::fflush(stdout);
}

}  // namespace

void wide(std::u16string_view text) { write(utf16ToUtf8(text)); }
void narrow(std::string_view text) { write(text); }
void wideLineEnd() { write("\n"); }
void narrowLineEnd() { write("\n"); }

void wideLine(std::u16string_view text) {
  wide(text);
  wideLineEnd();
}

void narrowLine(std::string_view text) {
  narrow(text);
  narrowLineEnd();
}

void errorLine(std::string_view text) {
  if (!text.empty()) (void)std::fwrite(text.data(), 1, text.size(), stderr);
  (void)std::fputc('\n', stderr);
  (void)std::fflush(stderr);
}

Diversion::Diversion(std::function<void(std::string_view)> sink) : previous_(std::move(testSink())) {
  testSink() = std::move(sink);
}

Diversion::~Diversion() { testSink() = std::move(previous_); }

void setSinkForTesting(std::function<void(std::string_view)> sink) { testSink() = std::move(sink); }

}  // namespace koa::console
