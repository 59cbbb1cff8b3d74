// What the transfer benchmark measures: each transfer path sending the whole
// image to the null device, and the floor for the same pieces, at the
// granularities that matter (1: 4 KiB pieces, the most requests; 8 and 128:
// common drives; 255: NVMe's "no restriction", whose last piece is shorter).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>


namespace koa::bench {

inline constexpr std::int32_t kGranularities[] = {1, 8, 128, 255};

struct TransferCase {
  std::string path;         // "inbox", "irst", "vroc"
  std::string kind;         // "floor", "download" (the path's download loop), "update" (the whole call)
  std::int32_t granularity;
  std::uint32_t pieces;     // pieces of the image one run sends (or, for the floor, prepares)
  std::uint64_t requests;   // device requests one run must make
  // One whole run; false when the path did not report success.
  std::function<bool()> run;

  [[nodiscard]] std::string name() const { return path + "/" + kind + "/" + std::to_string(granularity); }
};

// Every case, each path's floor first, then its download loop and its
// whole update call, for each granularity. The paths send to the installed
// platform, which must be a NullDevice.
std::vector<TransferCase> transferCases();

}  // namespace koa::bench
