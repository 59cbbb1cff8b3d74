// The NTSTATUS a driver completes a request with so that the caller's
// GetLastError() is a given Windows error: the model answers in Windows
// errors, as the simulated machine does, and the I/O manager turns a
// driver's status back into one with RtlNtStatusToDosError.
//
// The table holds the status a Windows driver would use for each error the
// simulated machine answers with or a machine's faults commonly name; it is
// checked against Wine's own RtlNtStatusToDosError under Wine
// (tests/windows/error_status_check.cpp). Any other error travels as
// NTSTATUS_FROM_WIN32 (0xC007xxxx), which Windows and Wine map back to the
// error itself.
//
// Freestanding: used by the device shim, which has no C++ runtime.
#pragma once

#include <cstdint>

namespace koa::shim {

struct ErrorStatus {
  std::uint32_t error;   // the Windows error (winerror.h)
  std::uint32_t status;  // the NTSTATUS (ntstatus.h)
  const char* name;      // the status's name, for messages
};

inline constexpr ErrorStatus kErrorStatuses[] = {
    {0, 0x00000000u, "STATUS_SUCCESS"},
    {1, 0xC0000010u, "STATUS_INVALID_DEVICE_REQUEST"},       // ERROR_INVALID_FUNCTION
    {2, 0xC0000034u, "STATUS_OBJECT_NAME_NOT_FOUND"},        // ERROR_FILE_NOT_FOUND
    {5, 0xC0000022u, "STATUS_ACCESS_DENIED"},                // ERROR_ACCESS_DENIED
    {6, 0xC0000008u, "STATUS_INVALID_HANDLE"},               // ERROR_INVALID_HANDLE
    {8, 0xC0000017u, "STATUS_NO_MEMORY"},                    // ERROR_NOT_ENOUGH_MEMORY
    {21, 0xC00000A3u, "STATUS_DEVICE_NOT_READY"},            // ERROR_NOT_READY
    {23, 0xC000003Eu, "STATUS_DATA_ERROR"},                  // ERROR_CRC
    {31, 0xC0000001u, "STATUS_UNSUCCESSFUL"},                // ERROR_GEN_FAILURE
    {32, 0xC0000043u, "STATUS_SHARING_VIOLATION"},           // ERROR_SHARING_VIOLATION
    {50, 0xC00000BBu, "STATUS_NOT_SUPPORTED"},               // ERROR_NOT_SUPPORTED
    {55, 0xC00000C0u, "STATUS_DEVICE_DOES_NOT_EXIST"},       // ERROR_DEV_NOT_EXIST
    {87, 0xC000000Du, "STATUS_INVALID_PARAMETER"},           // ERROR_INVALID_PARAMETER
    {121, 0xC00000B5u, "STATUS_IO_TIMEOUT"},                 // ERROR_SEM_TIMEOUT
    {122, 0xC0000023u, "STATUS_BUFFER_TOO_SMALL"},           // ERROR_INSUFFICIENT_BUFFER
    {234, 0x80000005u, "STATUS_BUFFER_OVERFLOW"},            // ERROR_MORE_DATA (a warning: the output is copied)
    {995, 0xC0000120u, "STATUS_CANCELLED"},                  // ERROR_OPERATION_ABORTED
    {998, 0xC0000005u, "STATUS_ACCESS_VIOLATION"},           // ERROR_NOACCESS
    {1117, 0xC0000185u, "STATUS_IO_DEVICE_ERROR"},           // ERROR_IO_DEVICE
    {1167, 0xC000009Du, "STATUS_DEVICE_NOT_CONNECTED"},      // ERROR_DEVICE_NOT_CONNECTED
    {1168, 0xC0000225u, "STATUS_NOT_FOUND"},                 // ERROR_NOT_FOUND
    {1784, 0xC00000E8u, "STATUS_INVALID_USER_BUFFER"},       // ERROR_INVALID_USER_BUFFER
};

// NTSTATUS_FROM_WIN32: FACILITY_NTWIN32 (7), error severity.
inline constexpr std::uint32_t kWin32StatusBase = 0xC0070000u;

// The status for `error`: the table's, else NTSTATUS_FROM_WIN32(error).
// Only the low 16 bits of an error outside the table survive the trip: a
// Windows error is never larger.
constexpr std::uint32_t statusForError(std::uint32_t error) {
  for (const ErrorStatus& row : kErrorStatuses)
    if (row.error == error) return row.status;
  return kWin32StatusBase | (error & 0xFFFFu);
}

// A status the I/O manager copies output back for (success or warning).
constexpr bool copiesOutput(std::uint32_t status) { return (status >> 30) != 3; }

}  // namespace koa::shim
