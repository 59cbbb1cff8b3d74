#include "sim/json_field.h"

#include <algorithm>
#include <cctype>

#include "sim/sim_bytes.h"

namespace koa::sim {

namespace {
std::string typeName(const nlohmann::json& value) { return value.type_name(); }
}  // namespace

std::string memberPath(const std::string& parent, std::string_view key) {
  std::string path = parent + "/";
  for (char c : key) {
    if (c == '~')
      path += "~0";
    else if (c == '/')
      path += "~1";
    else
      path += c;
  }
  return path;
}

void JsonField::requireObject() const {
  if (!value_->is_object()) fail("expected an object, found " + typeName(*value_));
}

bool JsonField::has(std::string_view key) const {
  requireObject();
  return value_->contains(key);
}

JsonField JsonField::operator[](std::string_view key) const {
  requireObject();
  auto it = value_->find(key);
  if (it == value_->end()) throw DescriptionError(memberPath(path_, key), "missing required field");
  return JsonField(*it, memberPath(path_, key));
}

std::optional<JsonField> JsonField::optional(std::string_view key) const {
  requireObject();
  auto it = value_->find(key);
  if (it == value_->end()) return std::nullopt;
  return JsonField(*it, memberPath(path_, key));
}

std::vector<std::pair<std::string, JsonField>> JsonField::members() const {
  requireObject();
  std::vector<std::pair<std::string, JsonField>> result;
  for (auto it = value_->begin(); it != value_->end(); ++it)
    result.emplace_back(it.key(), JsonField(it.value(), memberPath(path_, it.key())));
  return result;
}

void JsonField::allowOnly(std::initializer_list<std::string_view> keys) const {
  requireObject();
  for (auto it = value_->begin(); it != value_->end(); ++it)
    if (std::find(keys.begin(), keys.end(), std::string_view(it.key())) == keys.end())
      throw DescriptionError(memberPath(path_, it.key()), "unknown field");
}

std::vector<JsonField> JsonField::items() const {
  if (!value_->is_array()) fail("expected an array, found " + typeName(*value_));
  std::vector<JsonField> result;
  for (std::size_t i = 0; i < value_->size(); ++i)
    result.emplace_back((*value_)[i], path_ + "/" + std::to_string(i));
  return result;
}

std::string JsonField::string() const {
  if (!value_->is_string()) fail("expected a string, found " + typeName(*value_));
  return value_->get<std::string>();
}

bool JsonField::boolean() const {
  if (!value_->is_boolean()) fail("expected true or false, found " + typeName(*value_));
  return value_->get<bool>();
}

std::uint64_t JsonField::unsignedInteger(std::uint64_t max) const {
  std::uint64_t value = 0;
  if (value_->is_number_unsigned()) {
    value = value_->get<std::uint64_t>();
  } else if (value_->is_number_integer()) {
    const std::int64_t signedValue = value_->get<std::int64_t>();
    if (signedValue < 0)
      fail("expected a number from 0 to " + std::to_string(max) + ", found " + std::to_string(signedValue));
    value = static_cast<std::uint64_t>(signedValue);
  } else if (value_->is_string()) {
    const std::string text = value_->get<std::string>();
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && text.size() <= 18 &&
                     std::all_of(text.begin() + 2, text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
    if (!hex) fail("expected a number or \"0x\" hex text, found \"" + text + "\"");
    value = std::stoull(text.substr(2), nullptr, 16);
  } else {
    fail("expected a number, found " + typeName(*value_));
  }
  if (value > max) fail("expected a number from 0 to " + std::to_string(max) + ", found " + std::to_string(value));
  return value;
}

std::int64_t JsonField::integer(std::int64_t min, std::int64_t max) const {
  std::int64_t value = 0;
  if (value_->is_number_integer()) {
    if (value_->is_number_unsigned() && value_->get<std::uint64_t>() > static_cast<std::uint64_t>(max))
      fail("expected a number from " + std::to_string(min) + " to " + std::to_string(max));
    value = value_->get<std::int64_t>();
  } else if (value_->is_string()) {
    value = static_cast<std::int64_t>(unsignedInteger(static_cast<std::uint64_t>(std::max<std::int64_t>(max, 0))));
  } else {
    fail("expected a number, found " + typeName(*value_));
  }
  if (value < min || value > max)
    fail("expected a number from " + std::to_string(min) + " to " + std::to_string(max) + ", found " +
         std::to_string(value));
  return value;
}

std::vector<std::uint8_t> JsonField::hexBytes() const {
  auto bytes = fromHex(string());
  if (!bytes) fail("expected hex text (pairs of 0-9, a-f)");
  return *bytes;
}

std::string JsonField::stringOr(std::string_view key, std::string fallback) const {
  auto field = optional(key);
  return field ? field->string() : fallback;
}

bool JsonField::booleanOr(std::string_view key, bool fallback) const {
  auto field = optional(key);
  return field ? field->boolean() : fallback;
}

std::uint64_t JsonField::unsignedOr(std::string_view key, std::uint64_t max, std::uint64_t fallback) const {
  auto field = optional(key);
  return field ? field->unsignedInteger(max) : fallback;
}

}  // namespace koa::sim
