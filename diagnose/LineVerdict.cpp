#include "LineVerdict.h"

namespace {

LineVerdict VerdictOfAnswer(RateAnswer answer) {
    switch (answer) {
        case RateAnswer::Ziron7:
            return LineVerdict::Found;
        case RateAnswer::AnotherDevice:
            return LineVerdict::ForeignDevice;
        case RateAnswer::OwnEcho:
            return LineVerdict::OwnEcho;
        case RateAnswer::Garbage:
            return LineVerdict::Garbled;
        case RateAnswer::Nothing:
            break;
    }
    return LineVerdict::NoAnswer;
}

}  // namespace

LineSummary SummariseLine(std::span<const RateFinding> rates) {
    LineSummary summary;
    for (const RateFinding& rate : rates) {
        if (rate.answer != RateAnswer::Nothing &&
            (!summary.decisive || rate.answer > summary.decisive->answer)) {
            summary.decisive = rate;
        }
    }
    if (!summary.decisive) {
        return summary;
    }
    summary.verdict = VerdictOfAnswer(summary.decisive->answer);
    const ReplyTiming& timing = summary.decisive->timing;
    if (timing.replies > 0 && timing.typicalLate >= kHeldReplySign) {
        summary.heldFor = timing.typicalLate;
    }
    return summary;
}

LineVerdict VerdictOfSearch(CPortDlg::LineHeard heard) {
    switch (heard) {
        case CPortDlg::LineHeard::AnotherDevice:
            return LineVerdict::ForeignDevice;
        case CPortDlg::LineHeard::OwnBytes:
            return LineVerdict::OwnEcho;
        case CPortDlg::LineHeard::Nothing:
            break;
    }
    return LineVerdict::NoAnswer;
}

std::string_view VerdictCode(LineVerdict verdict) {
    switch (verdict) {
        case LineVerdict::Found:
            return "found";
        case LineVerdict::ForeignDevice:
            return "foreign_device";
        case LineVerdict::OwnEcho:
            return "own_echo";
        case LineVerdict::Garbled:
            return "garbled_line";
        case LineVerdict::NoAnswer:
            break;
    }
    return "no_answer";
}

std::string_view RateAnswerCode(RateAnswer answer) {
    switch (answer) {
        case RateAnswer::Garbage:
            return "garbage";
        case RateAnswer::OwnEcho:
            return "own_echo";
        case RateAnswer::AnotherDevice:
            return "another_device";
        case RateAnswer::Ziron7:
            return "ziron7";
        case RateAnswer::Nothing:
            break;
    }
    return "nothing";
}
