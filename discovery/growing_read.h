// The size protocol of the SetupAPI getters, written once: a call without a
// buffer fails with ERROR_INSUFFICIENT_BUFFER and names the size it needs;
// the caller allocates a zero-filled buffer and asks again. Every property,
// hardware identifier list and interface detail the walks read goes through
// readGrowing, each with its rule, so that every size is checked before it is
// allocated and no size computation can wrap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "wire/byte_order.h"

namespace koa {

struct GrowingRule {
  enum class Allocation {
    ReportedSize,       // exactly the size the platform named
    TwiceReportedSize,  // room for a value that grows between the two calls
  };
  enum class Retry {
    // While ERROR_INSUFFICIENT_BUFFER, ask again; a platform that names no
    // more than the buffer it was given ends the read (it would otherwise be
    // asked for ever).
    WhileTheSizeGrows,
    // While ERROR_INSUFFICIENT_BUFFER, ask again, whatever size it names.
    WhileInsufficient,
    // The size query must name a size and fail only for want of a buffer (or
    // succeed); one more call fills the buffer without asking for a size.
    Once,
  };
  Allocation allocation;
  Retry retry;
  // A named size below this ends the read before anything is allocated.
  std::uint32_t minimumSize = 0;
};

struct GrowingBuffer {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::uint32_t size = 0;      // as allocated and handed to the last call
  std::uint32_t reported = 0;  // the required size after the last call
};

// call(buffer, bufferSize, requiredSize) makes one SetupAPI call and returns
// its result; the first call gets (nullptr, 0). prepare(bytes) readies each
// zero-filled buffer before it is handed over (a detail's cbSize). The buffer
// the last, successful call filled; nullopt when no call filled one: the size
// query succeeded (except with Retry::Once), a call failed for another
// reason, a rule ended the read, or memory ran out.
template <class Call, class Prepare>
std::optional<GrowingBuffer> readGrowing(const GrowingRule& rule, Call&& call, Prepare&& prepare) {
  Platform& platform = currentPlatform();
  GrowingBuffer buffer;
  const auto allocate = [&]() {
    const std::uint64_t size = rule.allocation == GrowingRule::Allocation::TwiceReportedSize
                                   ? std::uint64_t{buffer.reported} * 2
                                   : buffer.reported;
    if (buffer.reported < rule.minimumSize || size > UINT32_MAX) return false;
    buffer.size = static_cast<std::uint32_t>(size);
    buffer.bytes.reset(new (std::nothrow) std::uint8_t[buffer.size]());
    if (!buffer.bytes) return false;
    prepare(buffer.bytes.get());
    return true;
  };

  const bool sized = call(nullptr, 0, &buffer.reported);
  if (rule.retry == GrowingRule::Retry::Once) {
    // The size is checked before the error: a query that named too little
    // ends the read without asking why.
    if (buffer.reported < rule.minimumSize ||
        (!sized && platform.GetLastError() != ERROR_INSUFFICIENT_BUFFER) || !allocate() ||
        !call(buffer.bytes.get(), buffer.size, nullptr))
      return std::nullopt;
    return buffer;
  }
  if (sized) return std::nullopt;

  bool read = false;
  while (!read && platform.GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    if (rule.retry == GrowingRule::Retry::WhileTheSizeGrows && buffer.bytes && buffer.reported <= buffer.size)
      return std::nullopt;
    if (!allocate()) return std::nullopt;
    read = call(buffer.bytes.get(), buffer.size, &buffer.reported);
  }
  if (!read) return std::nullopt;
  return buffer;
}

template <class Call>
std::optional<GrowingBuffer> readGrowing(const GrowingRule& rule, Call&& call) {
  return readGrowing(rule, call, [](std::uint8_t*) {});
}

// The UTF-16 text of a filled buffer from offset to its first NUL character
// or the end of the buffer, never past it.
[[nodiscard]] inline std::u16string textUntilNul(const GrowingBuffer& buffer, std::size_t offset) {
  std::u16string text;
  for (std::size_t i = offset; i + 1 < buffer.size; i += 2) {
    const auto unit = static_cast<char16_t>(get16(buffer.bytes.get(), i));
    if (unit == u'\0') break;
    text.push_back(unit);
  }
  return text;
}

}  // namespace koa
