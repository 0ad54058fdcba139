#include "SimTranscript.h"

#include <fstream>

namespace testsupport {
namespace {
constexpr const char* kReceivedMark = "\"dir\":\"in\"";
constexpr std::string_view kHexKey = "\"hex\":\"";
constexpr std::size_t kHexStride = 3;  // two digits and a space
}  // namespace

std::vector<std::string> TranscriptLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream transcript(path);
    for (std::string line; std::getline(transcript, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> ReceivedLines(const std::string& path) {
    std::vector<std::string> received;
    for (std::string& line : TranscriptLines(path)) {
        if (line.find(kReceivedMark) != std::string::npos) {
            received.push_back(std::move(line));
        }
    }
    return received;
}

Bytes FrameOf(const std::string& line) {
    Bytes frame;
    const std::size_t hex = line.find(kHexKey);
    if (hex == std::string::npos) {
        return frame;
    }
    for (std::size_t at = hex + kHexKey.size(); at + 1 < line.size() && line[at] != '"';
         at += kHexStride) {
        frame.push_back(static_cast<std::uint8_t>(std::stoi(line.substr(at, 2), nullptr, 16)));
    }
    return frame;
}

}  // namespace testsupport
