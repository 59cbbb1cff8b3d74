#include "report/run_markers.h"

#include <string>

#include "report/console.h"
#include "report/number_text.h"

namespace koa {
namespace {

void wideLine(std::u16string_view text) {
  console::wide(text);
  console::wideLineEnd();
}

const std::u16string kSeparator(96, u'=');

}  // namespace

void writeRunHeader(std::u16string_view imageRevision) {
  wideLine(kSeparator);
  wideLine(imageRevision);
  wideLine(kBannerLine);
  wideLine(kSeparator);
}

void writeStartMarker() {
  console::wideLineEnd();
  wideLine(u" >> KOA Started ");
  console::wideLineEnd();
}

void writeEndMarker(std::int32_t exitCode) {
  console::wideLineEnd();
  wideLine(u" >> KOA Ended (Return Code : " + widen(decimal(exitCode)) + u")");
  console::wideLineEnd();
}

}  // namespace koa
