#include "MainProgram.h"

#include "AccessCode.h"

#include <cstdio>
#include <string>

namespace sim {
namespace {

constexpr std::uint8_t kInfoDate = 0;
constexpr std::uint8_t kInfoTime = 1;
constexpr std::uint8_t kInfoIdentity = 2;

// The texts may hold anything the flash holds; the transcript escapes them.
std::string Text(std::span<const std::uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

ProgramAnswer AnswerText(std::span<const std::uint8_t> text, const char* what) {
    ProgramAnswer answer;
    answer.reply = Reply{kCmdInfo, {text.begin(), text.end()}};
    answer.replyMeaning = std::string(what) + " \"" + Text(text) + "\"";
    return answer;
}

}  // namespace

MainProgram::MainProgram(const Identity& identity, const Flash& flash,
                         const MainProgramFaults& faults)
    : m_identity(identity), m_flash(flash), m_faults(faults) {}

ProgramAnswer MainProgram::Answer(const Request& request) {
    switch (request.Command()) {
        case kCmdIdentify:
            return AnswerIdentify(m_identity);
        case kCmdStatus:
            return AnswerStatus(false);
        case kCmdInfo: {
            ProgramAnswer answer = AnswerInfo(request);
            answer.brokenChecksum = answer.reply.has_value() && m_faults.infoBadChecksum;
            return answer;
        }
        case kCmdLoader:
            return AnswerSwitch(request);
        default:
            return Ignore("unknown command");
    }
}

ProgramAnswer MainProgram::AnswerInfo(const Request& request) const {
    if (request.PayloadLength() < 1) {
        return Ignore("information request without a step");
    }
    if (request.Payload()[0] == m_faults.unansweredInfoStep) {
        return Ignore("this main program does not know the step");
    }
    switch (request.Payload()[0]) {
        case kInfoDate:
            return AnswerText(m_flash.Read(kBuildDateOffset, kBuildDateLength), "build date");
        case kInfoTime:
            return AnswerText(m_flash.Read(kBuildTimeOffset, kBuildTimeLength), "build time");
        case kInfoIdentity: {
            const std::uint16_t version = m_flash.ReadWord(kVersionOffset);
            const std::uint32_t reprogrammings = m_flash.Record().reprogrammings;
            ProgramAnswer answer;
            Reply reply{kCmdInfo, {}};
            AppendWord(reply.payload, m_identity.deviceType);
            AppendWord(reply.payload, version);
            AppendLong(reply.payload, reprogrammings);
            answer.reply = reply;
            answer.replyMeaning = "type " + std::to_string(m_identity.deviceType) + ", version " +
                                  std::to_string(version) + ", reprogrammed " +
                                  std::to_string(reprogrammings) + " times";
            return answer;
        }
        default:
            return Ignore("unknown information step");
    }
}

ProgramAnswer MainProgram::AnswerSwitch(const Request& request) {
    if (!CarriesAccessCode(request)) {
        return Ignore("wrong access code");
    }
    if (request.Payload()[kLoaderOpOffset] != kOpSwitch) {
        return Ignore("the main program only switches to the bootloader");
    }
    if (m_switchesInLost < m_faults.lostSwitchesIn) {
        ++m_switchesInLost;
        return Ignore("the switch into the bootloader is lost on the line");
    }
    const std::uint8_t signature =
        m_faults.badSignature ? static_cast<std::uint8_t>(~kAccessCode[0]) : kAccessCode[0];
    ProgramAnswer answer;
    answer.reply = Reply{kCmdLoader, {signature}};
    answer.switchesProgram = !m_faults.neverEnter;
    char meaning[64];
    std::snprintf(meaning, sizeof meaning, "switch acknowledged, signature 0x%02X", signature);
    answer.replyMeaning = meaning;
    answer.outcome = m_faults.neverEnter ? "stays in the main program" : "starts the bootloader";
    return answer;
}

}  // namespace sim
