#include "RunRecorder.h"

#include <algorithm>
#include <string>

#include "AccessCode.h"
#include "CommandSet.h"
#include "MonotonicClock.h"

namespace simulation {
namespace {

// The question the update asks about an instrument found in its bootloader
// is a box of its own, not the outcome.
constexpr std::string_view kBootloaderQuestionPhrase = "Записать";

// Whether `frame` (sealed) is the switch request, whichever way it goes.
bool IsSwitchRequest(std::span<const std::uint8_t> frame) {
    static const RequestBytes kSwitch = BuildSwitchRequest(kAccessCode);
    return frame.size() >= kSwitch.size() && std::equal(kSwitch.begin(), kSwitch.end(), frame.begin());
}

}  // namespace

void RunRecorder::Trace(const char* what, std::string_view text) {
    if (m_trace != nullptr) {
        const auto ms = std::chrono::duration<double, std::milli>(MonotonicNow() - m_record.started);
        std::fprintf(m_trace, "%10.1f %-8s %.*s\n", ms.count(), what, static_cast<int>(text.size()),
                     text.data());
    }
}

void RunRecorder::Trace(const char* what, std::span<const std::uint8_t> bytes) {
    if (m_trace != nullptr) {
        std::string hex;
        for (const std::uint8_t byte : bytes) {
            constexpr const char* kDigits = "0123456789ABCDEF";
            hex += kDigits[byte >> 4];
            hex += kDigits[byte & 0x0F];
            hex += ' ';
        }
        Trace(what, hex);
    }
}

void RunRecorder::OnLineConfigured(std::uint32_t baudRate) {
    Trace("rate", std::to_string(baudRate));
}

void RunRecorder::OnFrameReceived(std::span<const std::uint8_t> frame) {
    Trace("in", frame);
}

void RunRecorder::OnChecksumFailed(std::span<const std::uint8_t> bytes) {
    Trace("bad", bytes);
}

void RunRecorder::OnLogLine(std::string_view text) {
    Trace("line", text);
}

void RunRecorder::OnFrameSent(std::span<const std::uint8_t> frame) {
    Trace("out", frame);
    ++m_record.framesSent;
    if (IsSwitchRequest(frame) && m_bootloaderRuns()) {
        ++m_record.switchBacksSent;
    }
    if (m_record.outcome) {
        ++m_record.framesAfterOutcome;
    }
}

void RunRecorder::OnMessageBox(std::string_view text) {
    Trace("box", text);
    const ShownBox box{MonotonicNow(), std::string(text)};
    m_record.boxes.push_back(box);
    if (m_updateRunning && !m_record.outcome &&
        text.find(kBootloaderQuestionPhrase) == std::string_view::npos) {
        m_record.outcome = box;
    }
}

void RunRecorder::OnUpdateEnded(int, bool) {
    m_updateRunning = false;
}

}  // namespace simulation
