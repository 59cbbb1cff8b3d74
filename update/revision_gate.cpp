// The firmware revision gate: which identified drives receive the image.
#include <array>
#include <string_view>

#include "update/drive_discovery.h"

namespace koa {
namespace {

// The revisions this package replaces, compared in this order.
constexpr std::array<std::u16string_view, 4> kReplaceableRevisions = {
    u"GXR4LTMW", u"GXB3LTMW", u"GXB2LTMW", u"GXB1LTMW"};

// The character of a revision that must agree with the image's own.
constexpr std::size_t kFamilyCharacter = 5;

bool qualifies(const std::u16string& revision, std::u16string_view imageRevision) {
  bool replaceable = false;
  for (std::u16string_view known : kReplaceableRevisions)
    if (revision == known) replaceable = true;
  return replaceable && imageRevision.size() > kFamilyCharacter &&
         revision[kFamilyCharacter] == imageRevision[kFamilyCharacter];
}

}  // namespace

int DriveDiscovery::selectTargets(DriveList& targets, std::u16string_view imageRevision) {
  for (const DriveRecord& drive : drives)
    if (qualifies(drive.firmwareRevision, imageRevision)) targets.push_back(drive);
  return 1;
}

}  // namespace koa
