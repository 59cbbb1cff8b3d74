// The device shim's table from Windows error to NTSTATUS
// (tests/windows/device_shim/win32_error_status.h) against Wine's own
// RtlNtStatusToDosError, the function through which the I/O manager turns a
// driver's status into the caller's GetLastError(): every status the shim
// completes a request with must come back as the error the model named.
// Run under Wine by tests/windows/run-wine-device-suite.sh.
//
// Prints one "PASS name" or "FAIL name: detail" line a check and exits with
// the number of failures.
#include <cstdint>
#include <cstdio>
#include <set>

#include "tests/windows/device_shim/win32_error_status.h"

extern "C" __declspec(dllimport) unsigned long __stdcall RtlNtStatusToDosError(long status);

namespace {

int failures = 0;

void expect(bool condition, const char* what, std::uint32_t error, std::uint32_t status, unsigned long actual) {
  if (condition) {
    std::printf("PASS %s: error %u travels as 0x%08X\n", what, error, status);
  } else {
    ++failures;
    std::printf("FAIL %s: error %u travels as 0x%08X, which Wine turns into %lu\n", what, error, status, actual);
  }
}

unsigned long errorOf(std::uint32_t status) { return RtlNtStatusToDosError(static_cast<long>(status)); }

}  // namespace

int wmain() {
  using namespace koa::shim;
  std::set<std::uint32_t> errors;
  for (const ErrorStatus& row : kErrorStatuses) {
    if (!errors.insert(row.error).second) {
      ++failures;
      std::printf("FAIL the table names error %u twice\n", row.error);
    }
    expect(errorOf(row.status) == row.error && statusForError(row.error) == row.status, row.name, row.error,
           row.status, errorOf(row.status));
  }
  // Errors outside the table (ERROR_INVALID_DATA, ERROR_TIMEOUT, the largest
  // a Windows error can be) travel as NTSTATUS_FROM_WIN32.
  for (const std::uint32_t error : {13u, 1460u, 0xFFFFu}) {
    const std::uint32_t status = statusForError(error);
    expect(!errors.contains(error) && errorOf(status) == error, "NTSTATUS_FROM_WIN32", error, status, errorOf(status));
  }
  // Only success and warnings bring output back; every error status copies
  // nothing, as the simulated machine copies nothing on a failure.
  for (const ErrorStatus& row : kErrorStatuses) {
    const bool copies = copiesOutput(row.status);
    if (copies != (row.error == 0 || row.error == 234)) {
      ++failures;
      std::printf("FAIL %s: output %s copied back\n", row.name, copies ? "is" : "is not");
    }
  }
  std::printf("%d failure(s)\n", failures);
  return failures;
}
