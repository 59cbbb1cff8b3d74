// JSON text for the inventory's document: strings escaped as RFC 8259 asks.
#pragma once

#include <string>
#include <string_view>

namespace koa::json {

// `text` (UTF-8) as a JSON string, quotes included.
[[nodiscard]] std::string quoted(std::string_view text);

}  // namespace koa::json
