// Expected whole outputs, kept as files under tests/golden/. A field written
// @NAME@ in a file stands for a value only the test knows (a temporary path).
#pragma once

#include <map>
#include <string>

#include "tests/support/machine_run.h"

namespace koa::test {

inline std::string golden(const std::string& name, const std::map<std::string, std::string>& fields = {}) {
  std::string text = readFile(sourcePath("tests/golden/" + name));
  for (const auto& [field, value] : fields) {
    const std::string token = "@" + field + "@";
    for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + value.size()))
      text.replace(at, token.size(), value);
  }
  return text;
}

}  // namespace koa::test
