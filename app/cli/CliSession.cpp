#include "CliSession.h"

#include "CliLanguage.h"
#include "LineConclusion.h"
#include "PortNaming.h"
#include "SessionEvents.h"

ProgramStamp ThisProgram() {
    return {ZIRON7_PROGRAM_VERSION, __DATE__ " " __TIME__};
}

std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

std::string NotFoundText(const PortArgument& port, Outcome outcome) {
    return PortLabel(port) + std::string(Say(": no Зирон-7 found (", ": Зирон-7 не найден (")) +
           std::string(OutcomeText(outcome)) + ")";
}

void LogLineConclusion(CPortDlg::LineHeard heard) {
    LineSummary summary;
    summary.verdict = VerdictOfSearch(heard);
    CurrentSession().OnLineConclusion(VerdictCode(summary.verdict), LineConclusionText(summary, {}));
}
