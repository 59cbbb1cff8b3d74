// A validator for the subset of JSON Schema (draft 2020-12) that
// docs/machine.schema.json uses. A schema keyword outside that subset is an
// error, so the schema cannot silently rely on something unchecked.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace koa::sim::test {

// The violations of `document` against `schema`, each as
// "<JSON pointer>: <what>"; empty when it is valid. Throws
// std::invalid_argument for a schema keyword the validator does not know.
std::vector<std::string> schemaViolations(const nlohmann::json& schema, const nlohmann::json& document);

}  // namespace koa::sim::test
