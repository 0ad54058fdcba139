// One JSON object written by hand: ziron7-cli's result for scripts needs
// names, numbers, texts and nested objects, nothing more.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class JsonObject {
public:
    void Number(std::string_view name, std::uint64_t value);
    // `value` is UTF-8; quotes, backslashes and control characters are escaped.
    void Text(std::string_view name, std::string_view value);
    void Object(std::string_view name, const JsonObject& value);
    // The object on one line: {"name":value,...}.
    std::string Render() const;

private:
    void Name(std::string_view name);
    std::string m_members;
};

// `text` as a JSON string, quotes included.
std::string JsonString(std::string_view text);
