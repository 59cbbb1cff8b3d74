// The faults a sweep injects: for each platform call of a clean run, every
// way that call can fail.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace koa::reliability {

struct InjectedFault {
  std::size_t call = 0;  // the trace's seq of the call it hits
  std::string what;      // e.g. "DeviceIoControl inbox.download: fail 1117"
  nlohmann::json fault;  // as the machine description's "faults" take it
  // An ERROR_INSUFFICIENT_BUFFER on a call that fills a buffer of a read the
  // program asks again whatever size is named: the interface detail of a
  // disk below the Intel controller, a controller's driver description, a
  // disk's location text. The failed call named the size it was given, so the
  // next one reads the value: the run must update every target the clean
  // run updated, not merely report no drive wrongly.
  bool askedPast = false;
};

struct FaultPlan {
  std::vector<InjectedFault> faults;
  std::size_t failurePoints = 0;    // calls that received at least one fault
  std::size_t representedCalls = 0;  // download pieces stood for by others
};

// Every way each call of `cleanTrace` can fail: opens with 2, 5 or 32;
// requests with a device error (1117, 31) or a timeout (121), requests with
// a driver header also with a nonzero ReturnCode, NVMe pass-through requests with nonzero NVMe
// statuses; SetupAPI calls with their errors; GetModuleHandleW with 126.
// CloseHandle and SetupDiDestroyDeviceInfoList are not failed (Windows
// releases the object whatever it reports); GetLastError, SetErrorMode,
// MessageBoxW and the clock cannot fail.
//
// Download pieces all take the same path and each run moves up to 8 MiB
// through the simulated drivers: unless `everyPiece`, each drive's first
// two, middle and last two pieces are failed and the others are counted in
// representedCalls.
[[nodiscard]] FaultPlan planFaults(const std::vector<nlohmann::json>& cleanTrace, bool everyPiece);

}  // namespace koa::reliability
