// Captures everything the console writers put on standard output while it
// lives, and how many writes it took.
#pragma once

#include <string>

#include "report/console.h"

namespace koa::test {

class ConsoleCapture {
 public:
  ConsoleCapture() {
    console::setSinkForTesting([this](std::string_view bytes) {
      text_.append(bytes);
      ++writes_;
    });
  }
  ~ConsoleCapture() { console::setSinkForTesting({}); }
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  [[nodiscard]] const std::string& text() const { return text_; }
  [[nodiscard]] int writes() const { return writes_; }
  void clear() { text_.clear(); }

 private:
  std::string text_;
  int writes_ = 0;
};

}  // namespace koa::test
