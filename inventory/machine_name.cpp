#include "inventory/machine_name.h"

#include <string>

#include "platform/platform.h"
#include "report/utf16_to_utf8.h"

namespace koa {
namespace {

// MAX_COMPUTERNAME_LENGTH + 1 holds every NetBIOS-length name at once; a
// longer host name takes one more call.
constexpr std::uint32_t kFirstLength = 16;
// A host name is at most 63 characters; a machine that asks for far more
// than a fully qualified name could need is not believed.
constexpr std::uint32_t kLongestLength = 1024;
constexpr int kAttempts = 3;

}  // namespace

std::string readMachineName() {
  Platform& platform = currentPlatform();
  std::u16string buffer(kFirstLength, u'\0');
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    auto size = static_cast<std::uint32_t>(buffer.size());
    // The physical node's host name, not NetBIOS's upper-cased first 15
    // characters nor a cluster's virtual name: the name Intune and
    // Configuration Manager list the device under, and the one that owns the
    // drives.
    if (platform.GetComputerNameExW(ComputerNamePhysicalDnsHostname, buffer.data(), &size)) {
      if (size >= buffer.size()) return std::string();
      buffer.resize(size);
      return utf16ToUtf8(buffer);
    }
    if (platform.GetLastError() != ERROR_MORE_DATA || size <= buffer.size() || size > kLongestLength)
      return std::string();
    buffer.assign(size, u'\0');
  }
  return std::string();
}

}  // namespace koa
