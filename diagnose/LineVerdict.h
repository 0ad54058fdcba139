// The one answer to "why is it not found?" for a port that opened: what the
// rates heard, taken together, and whether an adapter holds the replies.
// The words are the program's that shows it; the code is the same in every
// language.
#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <string_view>

#include "PortDlg.h"
#include "RateFinding.h"

enum class LineVerdict {
    Found,          // a Зирон-7 answers: the search finds it
    ForeignDevice,  // a device of another type, or another protocol, answers
    OwnEcho,        // only our own bytes come back
    Garbled,        // bytes come back that never form a frame
    NoAnswer,       // nothing comes back at any rate
};

// How late a reply may come beyond its wire time before it is taken for
// held by an adapter: a USB serial adapter's latency timer holds bytes for
// 1 to 255 ms (16 ms by default), a line without one hands them over within
// a few milliseconds.
inline constexpr std::chrono::milliseconds kHeldReplySign{8};

struct LineSummary {
    LineVerdict verdict = LineVerdict::NoAnswer;
    // The rate that decided the verdict (the first with the most telling
    // answer); none for NoAnswer.
    std::optional<RateFinding> decisive;
    // The typical reply at the decisive rate came this late: an adapter
    // held them. Empty when the replies came at once.
    std::optional<std::chrono::microseconds> heldFor;
};

LineSummary SummariseLine(std::span<const RateFinding> rates);

// The verdict that a search which gave up can tell from what it heard.
LineVerdict VerdictOfSearch(CPortDlg::LineHeard heard);

// "found", "foreign_device", "own_echo", "garbled_line", "no_answer".
std::string_view VerdictCode(LineVerdict verdict);
// "nothing", "garbage", "own_echo", "another_device", "ziron7".
std::string_view RateAnswerCode(RateAnswer answer);
