#include "tests/support/expected_text.h"

namespace koa::test {
namespace {

// A function, not a global: blocks are also built while globals are
// initialised.
std::string rule() { return std::string(45, '-'); }

std::string resultDetails(int returnCode) {
  if (returnCode == 0) return "Patch completed\n";
  if (returnCode == 1602) return "Downloaded firmware successfully, but firmware activation requires reboot.\n";
  return "Patch Failed.\n";
}

}  // namespace

std::string displayBlock(const ShownDrive& drive) {
  std::string text = "\n" + rule() + "\n Firmware Download | Target Disk Information \n" + rule() + "\n";
  text += " Driver : " + drive.driver + " Driver\n";
  if (drive.driver != "VROC") text += drive.raid ? " Raid : Yes\n" : " Raid : No\n";
  text += " Model Number : " + drive.model + "\n";
  text += " Serial Number : " + drive.serial + "\n";
  text += " Current FW : " + drive.current + "\n";
  text += " Updated FW : " + drive.updated + "\n";
  return text + rule() + "\n";
}

std::string logBlock(int diskNumber, const ShownDrive& drive, int returnCode) {
  return "\n[Disk #" + std::to_string(diskNumber) + "]\n" +
         "Model Number : " + drive.model + "\n"
         "Serial Number : " + drive.serial + "\n"
         "Current Firmware Version : " + drive.current + "\n"
         "Updated Firmware Version : " + drive.updated + "\n"
         "Return Code : " + std::to_string(returnCode) + "\n"
         "Result Details : " + resultDetails(returnCode);
}

std::string runHeader() {
  const std::string separator(96, '=');
  return separator + "\nGXB4LTMW\nTORVALE NVMe SSD Firmware Update Package\n" + separator + "\n";
}

std::string consoleOf(const std::string& body, int exitCode) {
  return runHeader() + "\n >> KOA Started \n\n" +
         body + "\n >> KOA Ended (Return Code : " + std::to_string(exitCode) + ")\n\n";
}

std::string runBody(const std::string& standardOutput) {
  const std::string start = " >> KOA Started \n\n";
  const std::size_t from = standardOutput.find(start);
  const std::size_t to = standardOutput.find(" >> KOA Ended");
  if (from == std::string::npos || to == std::string::npos) return "markers missing:\n" + standardOutput;
  return standardOutput.substr(from + start.size(), to - from - start.size());
}

std::string padded(std::string text, std::size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

}  // namespace koa::test
