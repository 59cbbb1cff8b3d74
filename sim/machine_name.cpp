// The machine's name on the simulated machine: a workgroup machine (no DNS
// domain) named by the description's computerName.
#include <algorithm>

#include "sim/machine.h"

namespace koa::sim {

namespace {

// MAX_COMPUTERNAME_LENGTH: the NetBIOS name is the host name's first 15
// characters, upper-cased.
constexpr std::size_t kNetBiosLength = 15;

std::u16string netBiosName(const std::u16string& hostName) {
  std::u16string name = hostName.substr(0, kNetBiosLength);
  for (char16_t& c : name)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return name;
}

}  // namespace

bool Machine::GetComputerNameExW(std::uint32_t nameType, char16_t* buffer, std::uint32_t* size) {
  if (size == nullptr) return fail(kErrorNoAccess);
  // COMPUTER_NAME_FORMAT: NetBIOS, DnsHostname, DnsDomain,
  // DnsFullyQualified, then the same four of the physical node. A machine
  // outside a cluster has one node, and a workgroup machine no DNS domain.
  std::u16string name;
  switch (nameType) {
    case 0:
    case 4:
      name = netBiosName(machine_.computerName);
      break;
    case 1:
    case 3:
    case 5:
    case 7:
      name = machine_.computerName;
      break;
    case 2:
    case 6:
      break;
    default:
      return fail(ERROR_INVALID_PARAMETER);
  }
  const auto needed = static_cast<std::uint32_t>(name.size() + 1);
  if (buffer == nullptr || *size < needed) {
    *size = needed;
    return fail(kErrorMoreData);
  }
  std::copy(name.begin(), name.end(), buffer);
  buffer[name.size()] = u'\0';
  *size = needed - 1;
  return true;
}

}  // namespace koa::sim
