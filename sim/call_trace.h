// The record of every platform call the program made on the simulated
// machine: kept in memory for tests and, when a sink is set, written as one
// JSON line per call (KOA_SIM_TRACE).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace koa::sim {

class CallTrace {
 public:
  // Every call from now on is also written to `sink` (null: none).
  void setSink(std::ostream* sink) { sink_ = sink; }
  // Whether calls are kept for entries() (the default): tests read them; the
  // program on a machine file does not, and keeping a hex dump of every
  // request would grow its memory with every piece it sends.
  void keepEntries(bool keep) { keep_ = keep; }
  // Whether a call is recorded anywhere; callers skip the costly fields (the
  // hex dumps of requests) when it is not.
  [[nodiscard]] bool active() const { return keep_ || sink_ != nullptr; }
  // Appends one call; `entry` holds at least "op".
  void record(nlohmann::json entry);
  [[nodiscard]] const std::vector<nlohmann::json>& entries() const { return entries_; }
  // The entries whose "op" is `op`.
  [[nodiscard]] std::vector<nlohmann::json> calls(const std::string& op) const;
  // The DeviceIoControl entries of one request kind.
  [[nodiscard]] std::vector<nlohmann::json> requests(const std::string& kind) const;
  void clear() {
    entries_.clear();
    recorded_ = 0;
  }

 private:
  std::vector<nlohmann::json> entries_;
  std::uint64_t recorded_ = 0;  // calls so far, kept or not: the next "seq"
  std::ostream* sink_ = nullptr;
  bool keep_ = true;
};

}  // namespace koa::sim
