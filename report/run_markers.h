// The fixed lines that frame a run on standard output.
#pragma once

#include <cstdint>
#include <string_view>

namespace koa {

// Third line of the run header.
inline constexpr std::u16string_view kBannerLine = u"TORVALE NVMe SSD Firmware Update Package";

// 96 "=", imageRevision, the banner line, 96 "=": written on every run,
// before the command line is read.
void writeRunHeader(std::u16string_view imageRevision);

// An empty line, " >> KOA Started ", an empty line.
void writeStartMarker();

// An empty line, " >> KOA Ended (Return Code : <exitCode>)", an empty line.
void writeEndMarker(std::int32_t exitCode);

}  // namespace koa
