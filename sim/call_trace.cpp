#include "sim/call_trace.h"

namespace koa::sim {

void CallTrace::record(nlohmann::json entry) {
  ++recorded_;
  if (!active()) return;
  entry["seq"] = recorded_;
  if (sink_ != nullptr) {
    // Texts that are not UTF-8 (a revision from an image's raw bytes) must
    // not stop the trace.
    *sink_ << entry.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    sink_->flush();
  }
  if (keep_) entries_.push_back(std::move(entry));
}

std::vector<nlohmann::json> CallTrace::calls(const std::string& op) const {
  std::vector<nlohmann::json> result;
  for (const auto& entry : entries_)
    if (entry.value("op", "") == op) result.push_back(entry);
  return result;
}

std::vector<nlohmann::json> CallTrace::requests(const std::string& kind) const {
  std::vector<nlohmann::json> result;
  for (const auto& entry : entries_)
    if (entry.value("op", "") == "DeviceIoControl" && entry.value("request", "") == kind) result.push_back(entry);
  return result;
}

}  // namespace koa::sim
