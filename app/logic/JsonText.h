// Writing JSON text: strings escaped, numbers and objects built field by field.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// `text` (UTF-8) as a JSON string with its quotes: quote, backslash and the control
// characters escaped; bytes that are no valid UTF-8 become U+FFFD, so the result always
// parses.
std::string JsonString(std::string_view text);

// An object written member by member: `{"a":1,"b":"x"}`.
class TJsonObject {
public:
    TJsonObject& Text(std::string_view key, std::string_view value);
    // A number; `known` false writes null.
    TJsonObject& Number(std::string_view key, int64_t value, bool known = true);
    TJsonObject& Real(std::string_view key, double value, bool known = true);
    // JSON text as it stands (an object built before, "null", ...).
    TJsonObject& Raw(std::string_view key, std::string_view json);
    std::string Str() const { return body_ + "}"; }

private:
    void Key(std::string_view key);
    std::string body_ = "{";
};
