// One JSON object written by hand: ziron7-cli's results for scripts need
// names, numbers, texts, null, nested objects and lists of them, nothing
// more. Whatever bytes a text brings, the rendering is valid UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class JsonObject {
public:
    void Number(std::string_view name, std::uint64_t value);
    // `value` is meant as UTF-8: quotes, backslashes and control characters
    // are escaped, and a byte that is no part of a well-formed UTF-8
    // character becomes U+FFFD.
    void Text(std::string_view name, std::string_view value);
    void Null(std::string_view name);
    void Object(std::string_view name, const JsonObject& value);
    void Texts(std::string_view name, const std::vector<std::string>& values);
    void Objects(std::string_view name, const std::vector<JsonObject>& values);
    // The object on one line: {"name":value,...}.
    std::string Render() const;

private:
    void Name(std::string_view name);
    std::string m_members;
};

// `text` as a JSON string, quotes included, escaped and made valid as Text says.
std::string JsonString(std::string_view text);
