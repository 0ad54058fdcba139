#include "Transcript.h"

#include <cerrno>
#include <cstring>

namespace sim {
namespace {

const char* OperationName(std::uint8_t operation) {
    switch (operation) {
        case kOpLoadHalf:
            return "load half";
        case kOpProgramPage:
            return "program page";
        case kOpSwitch:
            return "switch program";
        case kOpReadBack:
            return "read back";
        case kOpFinish:
            return "finish";
        default:
            return "unknown operation";
    }
}

std::string Json(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            // Texts from flash are bytes, not necessarily UTF-8: each one is
            // kept as the character of the same number.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, text.empty() ? "%02X" : " %02X", byte);
        text += digits;
    }
    return text;
}

}  // namespace

std::string DescribeRequest(const Request& request) {
    switch (request.Command()) {
        case kCmdIdentify:
            return "identify request";
        case kCmdStatus:
            return "status request";
        case kCmdInfo:
            return request.PayloadLength() >= 1
                       ? "information request, step " + std::to_string(request.Payload()[0])
                       : "information request without a step";
        case kCmdLoader: {
            if (request.PayloadLength() < kLoaderMinPayload) {
                return "short loader request";
            }
            char text[64];
            std::snprintf(text, sizeof text, "loader request: %s at 0x%04X",
                          OperationName(request.Payload()[kLoaderOpOffset]),
                          request.Word(kLoaderAddressOffset));
            return text;
        }
        default:
            return "command " + std::to_string(request.Command());
    }
}

Transcript::~Transcript() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

bool Transcript::Open(const std::string& path, std::string& error) {
    m_file = std::fopen(path.c_str(), "we");
    if (m_file == nullptr) {
        error = "cannot write the transcript " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void Transcript::Record(const Entry& entry) {
    if (m_file == nullptr) {
        return;
    }
    const double seconds = std::chrono::duration<double>(entry.at - m_start).count();
    std::string line = "{\"t\":" + std::to_string(seconds);
    line += ",\"dir\":" + Json(entry.received ? "in" : "out");
    line += ",\"rate\":" + std::to_string(entry.rate);
    line += ",\"program\":" + Json(entry.program);
    line += ",\"meaning\":" + Json(entry.meaning);
    if (entry.received) {
        line += ",\"outcome\":" + Json(entry.outcome);
    }
    line += ",\"hex\":" + Json(Hex(entry.bytes)) + "}\n";
    std::fputs(line.c_str(), m_file);
    std::fflush(m_file);  // readers follow the file while the simulator runs
}

}  // namespace sim
