// The text the program writes for each drive it updates, and around a run,
// spelled out as the program's own literal text, so that a test compares
// whole blocks without rebuilding them line by line.
#pragma once

#include <cstddef>
#include <string>

namespace koa::test {

// A drive as the program shows it. The identify fields keep the blanks that
// pad them (padded() gives the 40 and 20 bytes of an Identify Controller).
struct ShownDrive {
  std::string driver = "Inbox";  // "Inbox", "IRST" or "VROC": the "Driver :" line
  bool raid = false;             // "Raid : Yes"; a VROC drive has no Raid line
  std::string model;
  std::string serial;
  std::string current;
  std::string updated = "GXB4LTMW";  // the image's revision
};

// The block printed before a drive is updated, from its empty line to its
// closing rule.
std::string displayBlock(const ShownDrive& drive);

// The drive's block in the log: "[Disk #n]" down to its Result Details.
std::string logBlock(int diskNumber, const ShownDrive& drive, int returnCode);

// The four lines every run starts with.
std::string runHeader();

// The whole standard output of a run whose command line was accepted: the
// header, the start marker, `body`, the end marker with `exitCode`.
std::string consoleOf(const std::string& body, int exitCode);

// What a run printed between the start marker (with its empty line) and the
// end marker, whose empty line ends the body.
std::string runBody(const std::string& standardOutput);

// `text` with blanks after it up to `width`, as the identify data pads it.
std::string padded(std::string text, std::size_t width);

// How often `part` occurs in `text` (overlaps count).
std::size_t occurrences(const std::string& text, const std::string& part);

}  // namespace koa::test
