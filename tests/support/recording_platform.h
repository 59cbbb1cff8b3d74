// The empty machine for in-process tests of the run, with a clock that gives
// the pinned times in turn and a record of the process calls (error mode,
// message boxes).
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "tests/support/null_platform.h"

namespace koa::test {

struct ShownMessage {
  std::u16string text;
  std::u16string caption;
  std::uint32_t type;
};

class RecordingPlatform final : public NullPlatform {
 public:
  // Installed and reset: each test starts from an empty record. The object
  // lives for the whole test program, so the installed platform never dangles.
  static RecordingPlatform& install() {
    static RecordingPlatform platform;
    platform = RecordingPlatform();
    installPlatform(platform);
    return platform;
  }

  // Times handed out by localTime(), first to last; the last one repeats.
  std::deque<LocalTime> clock{kPinnedTime};
  std::intptr_t moduleHandle = kModuleHandle;
  std::vector<std::uint32_t> errorModesSet;
  std::vector<ShownMessage> messages;
  int clockReads = 0;

  std::intptr_t GetModuleHandleW(const char16_t*) override { return moduleHandle; }
  std::uint32_t SetErrorMode(std::uint32_t mode) override {
    errorModesSet.push_back(mode);
    return NullPlatform::SetErrorMode(mode);
  }
  int MessageBoxW(const char16_t* text, const char16_t* caption, std::uint32_t type) override {
    messages.push_back({text, caption, type});
    return NullPlatform::MessageBoxW(text, caption, type);
  }
  LocalTime localTime() override {
    ++clockReads;
    const LocalTime now = clock.front();
    if (clock.size() > 1) clock.pop_front();
    return now;
  }
};

}  // namespace koa::test
