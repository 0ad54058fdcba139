// A whole instrument for the scripted line: its main program (identity,
// firmware texts, status, switch acknowledgement) and its bootloader over an
// in-memory flash, with the quirks a test asks for. Runs on the scripted
// line's thread; read its flash only once the line is gone.
#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "AccessCode.h"
#include "CommandSet.h"
#include "InMemoryBootloader.h"
#include "UpdateHarness.h"

namespace updatetest {

class ScriptedDevice {
public:
    std::string dateText = "Jun 20 2010";  // a year before the test images
    std::string timeText = "09:15:48";
    int switchesToEnter = 1;   // acknowledged switches before the bootloader really starts
    bool leaves = true;        // the bootloader obeys the switch back
    bool acknowledges = true;  // the acknowledgement of the switch reaches the line
    // The bootloader takes over once the firmware identity has been read (as
    // after a reset), so the first status request already finds it running.
    bool bootloaderAfterInformation = false;
    // The main program never answers this information step (an older one without it).
    int unansweredInfoStep = -1;
    // Each information reply comes behind a late copy of the one before,
    // as a doubling line delivers them.
    bool lateInfoCopies = false;
    // The first reply to each information step and to the identify request
    // comes behind a copy of an earlier request of ours (the previous step,
    // the identify request itself), as our own frames come back on an echoing
    // line read late by a busy PC.
    bool staleRequestsComeBack = false;
    // After the switch back the main program is silent this long, and then
    // hears only its own rate (mainBaud), as a real one does.
    std::chrono::milliseconds mainStartsAfterLeaving{0};
    int mainBaud = 9600;

    std::vector<Bytes> Answer(const ReceivedFrame& request) {
        const std::span<const std::uint8_t> frame =
            std::span(request.bytes).first(request.bytes.size() - kFrameCrcSize);
        const std::uint8_t command = request.Command();
        if (!m_inBootloader && !MainProgramHears(request)) {
            return {};
        }
        if (command == CMD_IDENTIFY) {
            if (staleRequestsComeBack && !m_staleIdentifySent) {
                m_staleIdentifySent = true;
                return {Reply(CMD_IDENTIFY, {}), Reply(CMD_IDENTIFY, kIdentity)};
            }
            return {Reply(CMD_IDENTIFY, kIdentity)};
        }
        if (command == CMD_STATUS) {
            return {StatusReply(m_inBootloader)};
        }
        if (!m_inBootloader) {
            return AnswerMain(command, frame);
        }
        if (command != CMD_LOADER) {
            return {};
        }
        if (IsSwitch(frame)) {
            m_inBootloader = !leaves;
            if (leaves) {
                m_leftAt = request.at;
            }
            return {};
        }
        Bytes reply = bootloader.Answer(frame);
        reply.resize(reply.size() - kFrameCrcSize);
        return {reply};
    }

    InMemoryBootloader bootloader{kAccessCode};

private:
    static constexpr std::uint8_t kIdentity[] = {3, 11, 7, 0x39, 0x30};
    // Device type 3, version 6, one reprogramming.
    static constexpr std::uint8_t kFirmwareIdentity[] = {3, 0, 6, 0, 1, 0, 0, 0};

    bool MainProgramHears(const ReceivedFrame& request) const {
        if (!m_leftAt || mainStartsAfterLeaving.count() == 0) {
            return true;
        }
        return request.at - *m_leftAt >= mainStartsAfterLeaving && request.rate == mainBaud;
    }

    static bool IsSwitch(std::span<const std::uint8_t> frame) {
        return frame.size() > kFramePayloadIndex + kLoaderOperationOffset &&
               frame[kFramePayloadIndex + kLoaderOperationOffset] == BL_SWITCH;
    }

    std::vector<Bytes> AnswerMain(std::uint8_t command, std::span<const std::uint8_t> frame) {
        if (command == CMD_INFO && frame.size() > kFramePayloadIndex) {
            if (frame[kFramePayloadIndex] == unansweredInfoStep) {
                return {};
            }
            std::vector<Bytes> replies;
            if (lateInfoCopies && !m_lastInfoReply.empty()) {
                replies.push_back(m_lastInfoReply);
            }
            const std::uint8_t step = frame[kFramePayloadIndex];
            if (staleRequestsComeBack && step > kInfoStepDate && step > m_lastStaleStep) {
                m_lastStaleStep = step;
                const std::uint8_t previousStep = step - 1;
                replies.push_back(Reply(CMD_INFO, std::span(&previousStep, 1)));
            }
            m_lastInfoReply = InfoAnswer(frame[kFramePayloadIndex]);
            replies.push_back(m_lastInfoReply);
            return replies;
        }
        if (command == CMD_LOADER && IsSwitch(frame)) {
            m_inBootloader = ++m_switches >= switchesToEnter;
            if (!acknowledges) {
                return {};
            }
            const std::uint8_t signature = kAccessCode[0];
            return {Reply(CMD_LOADER, std::span(&signature, 1))};
        }
        return {};
    }

    Bytes InfoAnswer(std::uint8_t step) {
        switch (step) {
            case kInfoStepDate:
                return InfoTextReply(dateText);
            case kInfoStepTime:
                return InfoTextReply(timeText);
            default:
                m_inBootloader = bootloaderAfterInformation;
                return Reply(CMD_INFO, kFirmwareIdentity);
        }
    }

    bool m_inBootloader = false;
    Bytes m_lastInfoReply;  // the main program's last information reply
    std::uint8_t m_lastStaleStep = kInfoStepDate;  // information steps answered behind a stale request
    bool m_staleIdentifySent = false;
    int m_switches = 0;
    std::optional<testsupport::PtyInstrument::Clock::time_point> m_leftAt;  // the switch back arrived
};

}  // namespace updatetest
