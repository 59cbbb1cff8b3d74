// Reading a machine description with errors that name the bad field by its
// JSON pointer ("/devices/2/disk/deviceNumber"), so that the loader can say
// which file and which field is wrong instead of crashing.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace koa::sim {

// A malformed description: `path` is the JSON pointer of the field ("" for
// the whole document).
class DescriptionError : public std::runtime_error {
 public:
  DescriptionError(std::string path, const std::string& message)
      : std::runtime_error((path.empty() ? std::string("/") : path) + ": " + message), path_(std::move(path)) {}
  [[nodiscard]] const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A value of the description together with where it stands in it. Every
// accessor throws DescriptionError naming this field when the value is not
// what it asks for.
class JsonField {
 public:
  JsonField(const nlohmann::json& value, std::string path) : value_(&value), path_(std::move(path)) {}

  [[nodiscard]] const nlohmann::json& json() const { return *value_; }
  [[nodiscard]] const std::string& path() const { return path_; }
  [[noreturn]] void fail(const std::string& message) const { throw DescriptionError(path_, message); }

  // Objects.
  [[nodiscard]] bool has(std::string_view key) const;
  [[nodiscard]] JsonField operator[](std::string_view key) const;  // required member
  [[nodiscard]] std::optional<JsonField> optional(std::string_view key) const;
  [[nodiscard]] std::vector<std::pair<std::string, JsonField>> members() const;
  // Rejects members not named, so that a misspelt field is an error rather
  // than a silently ignored one.
  void allowOnly(std::initializer_list<std::string_view> keys) const;

  // Arrays.
  [[nodiscard]] std::vector<JsonField> items() const;

  // Scalars. Unsigned and integer fields also accept a "0x..." string.
  [[nodiscard]] std::string string() const;
  [[nodiscard]] bool boolean() const;
  [[nodiscard]] std::uint64_t unsignedInteger(std::uint64_t max) const;
  [[nodiscard]] std::int64_t integer(std::int64_t min, std::int64_t max) const;
  // Hex text ("0a1B..."), even length, no separators.
  [[nodiscard]] std::vector<std::uint8_t> hexBytes() const;

  // Convenience for optional members with a default.
  [[nodiscard]] std::string stringOr(std::string_view key, std::string fallback) const;
  [[nodiscard]] bool booleanOr(std::string_view key, bool fallback) const;
  [[nodiscard]] std::uint64_t unsignedOr(std::string_view key, std::uint64_t max, std::uint64_t fallback) const;

 private:
  void requireObject() const;
  const nlohmann::json* value_;
  std::string path_;
};

// The JSON pointer of a member below `parent` ("~" and "/" escaped).
[[nodiscard]] std::string memberPath(const std::string& parent, std::string_view key);

}  // namespace koa::sim
