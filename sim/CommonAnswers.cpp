#include "CommonAnswers.h"

#include <string>

namespace sim {

ProgramAnswer AnswerIdentify(const Identity& identity) {
    ProgramAnswer answer;
    Reply reply{kCmdIdentify, {identity.deviceType, identity.yearSince2000, identity.month}};
    AppendWord(reply.payload, identity.serialNumber);
    answer.reply = reply;
    answer.replyMeaning = "identify: type " + std::to_string(identity.deviceType) + ", made " +
                          std::to_string(identity.month) + "/" +
                          std::to_string(kYearBase + identity.yearSince2000) + ", serial number " +
                          std::to_string(identity.serialNumber);
    return answer;
}

ProgramAnswer AnswerStatus(bool bootloaderRuns) {
    ProgramAnswer answer;
    answer.reply = Reply{kCmdStatus, {bootloaderRuns ? kStatusBootloader : kStatusMainProgram}};
    answer.replyMeaning = bootloaderRuns ? "status: bootloader" : "status: main program";
    return answer;
}

ProgramAnswer Ignore(const char* why) {
    ProgramAnswer answer;
    answer.outcome = std::string("ignored: ") + why;
    return answer;
}

}  // namespace sim
