#include "JsonText.h"

#include <cstdio>

void JsonObject::Number(std::string_view name, std::uint64_t value) {
    Name(name);
    m_members += std::to_string(value);
}

void JsonObject::Text(std::string_view name, std::string_view value) {
    Name(name);
    m_members += JsonString(value);
}

void JsonObject::Object(std::string_view name, const JsonObject& value) {
    Name(name);
    m_members += value.Render();
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
    std::string quoted = "\"";
    for (const char c : text) {
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
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    quoted += escaped;
                } else {
                    quoted += c;  // UTF-8 passes as it is
                }
        }
    }
    return quoted + "\"";
}
