// JSON parsing that rejects what nlohmann-json would quietly accept in a
// machine description: a field given twice in one object (the parser would
// keep the last one, so two drives of one name would become one).
#pragma once

#include <string_view>

#include <nlohmann/json.hpp>

namespace koa::sim {

// Throws DescriptionError: for malformed JSON with path "" and the parser's
// line and column, for a duplicate field with the field's path.
[[nodiscard]] nlohmann::json parseStrictJson(std::string_view text);

}  // namespace koa::sim
