#include "sim/strict_json.h"

#include <set>
#include <string>
#include <vector>

#include "sim/json_field.h"

namespace koa::sim {

namespace {

// Where the parser stands: one entry per open object or array.
struct Level {
  bool isArray = false;
  std::size_t nextIndex = 0;  // arrays: index of the next element
  std::string key;            // objects: the key being read
  std::set<std::string> keys;
};

std::string pathOf(const std::vector<Level>& levels) {
  std::string path;
  for (const auto& level : levels)
    path = level.isArray ? path + "/" + std::to_string(level.nextIndex - 1) : memberPath(path, level.key);
  return path;
}

}  // namespace

nlohmann::json parseStrictJson(std::string_view text) {
  std::vector<Level> levels;
  std::string duplicatePath;
  auto callback = [&](int /*depth*/, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
    using Event = nlohmann::json::parse_event_t;
    auto countElement = [&] {
      if (!levels.empty() && levels.back().isArray) ++levels.back().nextIndex;
    };
    switch (event) {
      case Event::object_start:
      case Event::array_start:
        countElement();
        levels.push_back(Level{event == Event::array_start, 0, {}, {}});
        break;
      case Event::object_end:
      case Event::array_end:
        levels.pop_back();
        break;
      case Event::key: {
        Level& level = levels.back();
        level.key = parsed.get<std::string>();
        if (!level.keys.insert(level.key).second && duplicatePath.empty()) duplicatePath = pathOf(levels);
        break;
      }
      case Event::value:
        countElement();
        break;
    }
    return true;
  };
  nlohmann::json document;
  try {
    document = nlohmann::json::parse(text.begin(), text.end(), callback);
  } catch (const nlohmann::json::parse_error& error) {
    std::string message = error.what();
    // Drop the library's "[json.exception.parse_error.101] " prefix.
    if (auto end = message.find("] "); message.rfind("[json.exception", 0) == 0 && end != std::string::npos)
      message = message.substr(end + 2);
    throw DescriptionError("", "not valid JSON: " + message);
  }
  if (!duplicatePath.empty()) throw DescriptionError(duplicatePath, "duplicate field");
  return document;
}

}  // namespace koa::sim
