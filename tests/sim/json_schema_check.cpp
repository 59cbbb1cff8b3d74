#include "tests/sim/json_schema_check.h"

#include <regex>
#include <set>
#include <stdexcept>

namespace koa::sim::test {

namespace {

class Validator {
 public:
  explicit Validator(const nlohmann::json& root) : root_(root) {}

  void check(const nlohmann::json& schema, const nlohmann::json& value, const std::string& path,
             std::vector<std::string>& errors) const {
    if (schema.is_boolean()) {
      if (!schema.get<bool>()) errors.push_back(path + ": not allowed");
      return;
    }
    static const std::set<std::string> kAnnotations = {"$schema", "$id", "title", "description", "$comment", "$defs",
                                                       "default", "examples"};
    for (const auto& [keyword, argument] : schema.items()) {
      if (kAnnotations.contains(keyword)) continue;
      if (keyword == "$ref") {
        check(resolve(argument.get<std::string>()), value, path, errors);
      } else if (keyword == "type") {
        bool any = false;
        if (argument.is_array()) {
          for (const auto& type : argument) any = any || hasType(value, type.get<std::string>());
        } else {
          any = hasType(value, argument.get<std::string>());
        }
        if (!any) errors.push_back(path + ": expected type " + argument.dump() + ", found " + value.type_name());
      } else if (keyword == "enum") {
        bool found = false;
        for (const auto& option : argument) found = found || option == value;
        if (!found) errors.push_back(path + ": not one of " + argument.dump());
      } else if (keyword == "const") {
        if (argument != value) errors.push_back(path + ": expected " + argument.dump());
      } else if (keyword == "properties") {
        if (!value.is_object()) continue;
        for (const auto& [name, subschema] : argument.items())
          if (value.contains(name)) check(subschema, value[name], path + "/" + name, errors);
      } else if (keyword == "additionalProperties") {
        if (!value.is_object()) continue;
        const nlohmann::json* known = schema.contains("properties") ? &schema["properties"] : nullptr;
        for (const auto& [name, member] : value.items())
          if (known == nullptr || !known->contains(name)) check(argument, member, path + "/" + name, errors);
      } else if (keyword == "required") {
        if (!value.is_object()) continue;
        for (const auto& name : argument)
          if (!value.contains(name.get<std::string>())) errors.push_back(path + ": missing " + name.dump());
      } else if (keyword == "items") {
        if (!value.is_array()) continue;
        for (std::size_t i = 0; i < value.size(); ++i) check(argument, value[i], path + "/" + std::to_string(i), errors);
      } else if (keyword == "minItems" || keyword == "maxItems") {
        if (!value.is_array()) continue;
        const bool tooFew = keyword == "minItems" && value.size() < argument.get<std::size_t>();
        const bool tooMany = keyword == "maxItems" && value.size() > argument.get<std::size_t>();
        if (tooFew || tooMany) errors.push_back(path + ": " + keyword + " " + argument.dump());
      } else if (keyword == "minLength" || keyword == "maxLength") {
        if (!value.is_string()) continue;
        const std::size_t length = codePoints(value.get<std::string>());
        if ((keyword == "minLength" && length < argument.get<std::size_t>()) ||
            (keyword == "maxLength" && length > argument.get<std::size_t>()))
          errors.push_back(path + ": " + keyword + " " + argument.dump());
      } else if (keyword == "pattern") {
        if (!value.is_string()) continue;
        if (!std::regex_search(value.get<std::string>(), std::regex(argument.get<std::string>(), std::regex::ECMAScript)))
          errors.push_back(path + ": does not match " + argument.dump());
      } else if (keyword == "minimum" || keyword == "maximum") {
        if (!value.is_number()) continue;
        const double number = value.get<double>();
        if ((keyword == "minimum" && number < argument.get<double>()) ||
            (keyword == "maximum" && number > argument.get<double>()))
          errors.push_back(path + ": " + keyword + " " + argument.dump());
      } else if (keyword == "anyOf" || keyword == "oneOf") {
        std::size_t passed = 0;
        for (const auto& option : argument) {
          std::vector<std::string> optionErrors;
          check(option, value, path, optionErrors);
          if (optionErrors.empty()) ++passed;
        }
        if (passed == 0) errors.push_back(path + ": matches none of " + keyword);
        if (keyword == "oneOf" && passed > 1) errors.push_back(path + ": matches more than one of oneOf");
      } else if (keyword == "allOf") {
        for (const auto& option : argument) check(option, value, path, errors);
      } else if (keyword == "not") {
        std::vector<std::string> inner;
        check(argument, value, path, inner);
        if (inner.empty()) errors.push_back(path + ": matches what \"not\" forbids");
      } else {
        throw std::invalid_argument("schema keyword not supported: " + keyword);
      }
    }
  }

 private:
  static bool hasType(const nlohmann::json& value, const std::string& type) {
    if (type == "object") return value.is_object();
    if (type == "array") return value.is_array();
    if (type == "string") return value.is_string();
    if (type == "boolean") return value.is_boolean();
    if (type == "null") return value.is_null();
    if (type == "number") return value.is_number();
    if (type == "integer")
      return value.is_number_integer() || (value.is_number_float() && value.get<double>() == static_cast<double>(static_cast<long long>(value.get<double>())));
    throw std::invalid_argument("schema type not supported: " + type);
  }

  static std::size_t codePoints(const std::string& text) {
    std::size_t count = 0;
    for (unsigned char c : text)
      if ((c & 0xC0) != 0x80) ++count;
    return count;
  }

  const nlohmann::json& resolve(const std::string& reference) const {
    if (reference.rfind("#/", 0) != 0) throw std::invalid_argument("only local references are supported: " + reference);
    return root_.at(nlohmann::json::json_pointer(reference.substr(1)));
  }

  const nlohmann::json& root_;
};

}  // namespace

std::vector<std::string> schemaViolations(const nlohmann::json& schema, const nlohmann::json& document) {
  std::vector<std::string> errors;
  Validator(schema).check(schema, document, "", errors);
  return errors;
}

}  // namespace koa::sim::test
