// The file calls of the simulated machine, over its FileSystem.
#include <algorithm>

#include "sim/machine.h"
#include "sim/wide_text.h"

namespace koa::sim {

std::uint32_t Machine::returnText(const std::optional<std::u16string>& text, std::uint32_t error, char16_t* buffer,
                                  std::uint32_t size) {
  if (!text) {
    fail(error);
    return 0;
  }
  const auto needed = static_cast<std::uint32_t>(text->size() + 1);
  if (buffer == nullptr || size < needed) return needed;
  std::copy(text->begin(), text->end(), buffer);
  buffer[text->size()] = u'\0';
  return needed - 1;
}

std::uint32_t Machine::GetFileType(Handle file) {
  std::uint32_t error = 0;
  const std::uint32_t type = files_.fileType(file, error);
  // The one call here that sets NO_ERROR on success: FILE_TYPE_UNKNOWN is
  // also the answer for a handle of no known type.
  lastError_ = error;
  return type;
}

bool Machine::GetFileInformationByHandle(Handle file, ByHandleFileInformation* information) {
  if (information == nullptr) return fail(kErrorNoAccess);
  std::uint32_t error = 0;
  return files_.information(file, *information, error) || fail(error);
}

std::uint32_t Machine::GetFinalPathNameByHandleW(Handle file, char16_t* filePath, std::uint32_t size,
                                                 std::uint32_t flags) {
  // Only the DOS name, normalised, is modelled.
  if (flags != (FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)) return returnText(std::nullopt, ERROR_INVALID_PARAMETER, nullptr, 0);
  std::uint32_t error = 0;
  const auto path = files_.finalPath(file, error);
  return returnText(path, error, filePath, size);
}

std::uint32_t Machine::GetFullPathNameW(const char16_t* fileName, std::uint32_t bufferLength, char16_t* buffer) {
  std::uint32_t error = 0;
  if (fileName == nullptr) return returnText(std::nullopt, ERROR_INVALID_PARAMETER, nullptr, 0);
  return returnText(files_.fullPath(fromWideZ(fileName), error), error, buffer, bufferLength);
}

std::uint32_t Machine::GetLongPathNameW(const char16_t* shortPath, char16_t* longPath, std::uint32_t bufferLength) {
  std::uint32_t error = 0;
  if (shortPath == nullptr) return returnText(std::nullopt, ERROR_INVALID_PARAMETER, nullptr, 0);
  return returnText(files_.longPath(fromWideZ(shortPath), error), error, longPath, bufferLength);
}

std::uint32_t Machine::QueryDosDeviceW(const char16_t* deviceName, char16_t* targetPath, std::uint32_t max) {
  std::uint32_t error = 0;
  const auto targets = deviceName == nullptr ? std::nullopt : files_.dosDevice(fromWideZ(deviceName), error);
  if (!targets) {
    fail(deviceName == nullptr ? ERROR_INVALID_PARAMETER : error);
    return 0;
  }
  if (targetPath == nullptr || max < targets->size()) {
    fail(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(targets->begin(), targets->end(), targetPath);
  return static_cast<std::uint32_t>(targets->size());
}

bool Machine::SetEndOfFile(Handle file) {
  std::uint32_t error = 0;
  return files_.setEndOfFile(file, error) || fail(error);
}

bool Machine::WriteFile(Handle file, const void* buffer, std::uint32_t numberOfBytesToWrite,
                        std::uint32_t* numberOfBytesWritten) {
  if (numberOfBytesWritten == nullptr || (buffer == nullptr && numberOfBytesToWrite != 0))
    return fail(ERROR_INVALID_PARAMETER);
  std::uint32_t error = 0;
  return files_.write(file, buffer, numberOfBytesToWrite, *numberOfBytesWritten, error) || fail(error);
}

}  // namespace koa::sim
