#include "JsonText.h"

#include <cstdio>

#include "Utf8Text.h"

namespace {

// `render` of each value, comma-separated, in brackets.
template <typename Value, typename Render>
std::string List(const std::vector<Value>& values, Render render) {
    std::string list = "[";
    for (const Value& value : values) {
        if (list.size() > 1) {
            list += ',';
        }
        list += render(value);
    }
    return list + "]";
}

}  // namespace

void JsonObject::Number(std::string_view name, std::uint64_t value) {
    Name(name);
    m_members += std::to_string(value);
}

void JsonObject::Text(std::string_view name, std::string_view value) {
    Name(name);
    m_members += JsonString(value);
}

void JsonObject::Null(std::string_view name) {
    Name(name);
    m_members += "null";
}

void JsonObject::Object(std::string_view name, const JsonObject& value) {
    Name(name);
    m_members += value.Render();
}

void JsonObject::Texts(std::string_view name, const std::vector<std::string>& values) {
    Name(name);
    m_members += List(values, [](const std::string& value) { return JsonString(value); });
}

void JsonObject::Objects(std::string_view name, const std::vector<JsonObject>& values) {
    Name(name);
    m_members += List(values, [](const JsonObject& value) { return value.Render(); });
}

std::string JsonObject::Render() const {
    return "{" + m_members + "}";
}

void JsonObject::Name(std::string_view name) {
    if (!m_members.empty()) {
        m_members += ',';
    }
    m_members += JsonString(name) + ':';
}

std::string JsonString(std::string_view text) {
    const std::string valid = ValidUtf8(text);
    std::string quoted = "\"";
    for (const char c : valid) {
        switch (c) {
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            case '\n':
                quoted += "\\n";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    quoted += escaped;
                } else {
                    quoted += c;
                }
        }
    }
    return quoted + "\"";
}
