// Captures what the system writes to standard output while it lives.
#pragma once

#include <string>

#include "report/console.h"

namespace koa::test {

class ConsoleCapture {
 public:
  ConsoleCapture() {
    console::setSinkForTesting([this](std::string_view bytes) { text_.append(bytes); });
  }
  ~ConsoleCapture() { console::setSinkForTesting({}); }
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  [[nodiscard]] const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace koa::test
