#include "report/run_markers.h"

#include <string>

#include "report/console.h"
#include "report/number_text.h"

namespace koa {
namespace {

const std::u16string kSeparator(96, u'=');

}  // namespace

void writeRunHeader(std::u16string_view imageRevision) {
  console::wideLine(kSeparator);
  console::wideLine(imageRevision);
  console::wideLine(kBannerLine);
  console::wideLine(kSeparator);
}

void writeStartMarker() {
  console::wideLineEnd();
  console::wideLine(u" >> KOA Started ");
  console::wideLineEnd();
}

void writeEndMarker(std::int32_t exitCode) {
  console::wideLineEnd();
  console::wideLine(u" >> KOA Ended (Return Code : " + widen(decimal(exitCode)) + u")");
  console::wideLineEnd();
}

}  // namespace koa
