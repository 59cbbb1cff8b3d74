// Captures everything the system writes to the console while it lives.
#pragma once

#include <string>

#include "report/console.h"

namespace koa::test {

class CapturedConsole {
 public:
  CapturedConsole() {
    console::setSinkForTesting([this](std::string_view bytes) { text_.append(bytes); });
  }
  ~CapturedConsole() { console::setSinkForTesting({}); }
  CapturedConsole(const CapturedConsole&) = delete;
  CapturedConsole& operator=(const CapturedConsole&) = delete;

  [[nodiscard]] const std::string& text() const { return text_; }
  void clear() { text_.clear(); }

 private:
  std::string text_;
};

}  // namespace koa::test
