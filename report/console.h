// The console channels: the wide and the narrow stream, each also taking text
// that is already formatted.
//
// All of them write to one byte sink, standard output, so that a run's text
// keeps the order of the calls whichever channel each line took: a status
// line must never appear before the display block it belongs to. Wide text
// is written as UTF-8; a UTF-16 unit that is not part of a valid character
// (an unpaired surrogate) is written as "?". Nothing a drive reports can put
// a stream into a failed state and silence later lines. Every call is
// flushed at once. Write failures are ignored: a missing
// standard output loses the text and changes nothing else.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace koa::console {

// Text on the wide or the narrow side; formatted text arrives formatted.
void wide(std::u16string_view text);
void narrow(std::string_view text);

// A line end on either stream: one line feed, flushed.
void wideLineEnd();
void narrowLineEnd();

// Text, then a line end, on either stream.
void wideLine(std::u16string_view text);
void narrowLine(std::string_view text);

// Text on standard error, then a line end, flushed. Nothing of the update's
// own output goes there; the inventory writes why it could not look.
void errorLine(std::string_view text);

// While it lives, every channel above but errorLine writes into `sink`
// instead; the one before it comes back after. The inventory keeps the
// discovery's own lines out of its machine-readable output this way.
class Diversion {
 public:
  explicit Diversion(std::function<void(std::string_view)> sink);
  ~Diversion();
  Diversion(const Diversion&) = delete;
  Diversion& operator=(const Diversion&) = delete;

 private:
  std::function<void(std::string_view)> previous_;
};

// Tests only: capture the bytes instead of writing standard output. An empty
// function restores standard output.
void setSinkForTesting(std::function<void(std::string_view)> sink);

}  // namespace koa::console
