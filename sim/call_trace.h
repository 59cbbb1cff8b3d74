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
  // Appends one call; `entry` holds at least "op".
  void record(nlohmann::json entry);
  [[nodiscard]] const std::vector<nlohmann::json>& entries() const { return entries_; }
  // The entries whose "op" is `op`.
  [[nodiscard]] std::vector<nlohmann::json> calls(const std::string& op) const;
  // The DeviceIoControl entries of one request kind.
  [[nodiscard]] std::vector<nlohmann::json> requests(const std::string& kind) const;
  void clear() { entries_.clear(); }

 private:
  std::vector<nlohmann::json> entries_;
  std::ostream* sink_ = nullptr;
};

}  // namespace koa::sim
