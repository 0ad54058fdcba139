#include "RateFinding.h"

#include <algorithm>
#include <span>

#include "FrameReassembler.h"
#include "OwnEcho.h"
#include "ReplyReceiver.h"

namespace {

using std::chrono::microseconds;

// Bit times of one character of the 8N1 line: start, 8 data, stop.
constexpr std::uint64_t kBitsPerCharacter = 10;
constexpr std::uint64_t kMicrosecondsPerSecond = 1'000'000;

microseconds WireTime(std::size_t characters, std::int32_t baudRate) {
    if (baudRate <= 0) {
        return microseconds(0);
    }
    return microseconds(characters * kBitsPerCharacter * kMicrosecondsPerSecond /
                        static_cast<std::uint64_t>(baudRate));
}

OwnEcho::Clock::time_point PointOf(microseconds at) {
    return OwnEcho::Clock::time_point(at);
}

// Reads `piece` into the reassembler as the port would hand it over, in as
// many reads as the reassembler asks for.
FrameReassembler::PortRead ReadOf(std::span<const std::uint8_t>& rest) {
    return [&rest](std::span<std::uint8_t> into) -> std::size_t {
        const std::size_t count = std::min(into.size(), rest.size());
        std::copy_n(rest.begin(), count, into.begin());
        rest = rest.subspan(count);
        return count;
    };
}

// Keeps the most telling of what came back.
void Heard(RateFinding& finding, RateAnswer answer) {
    finding.answer = std::max(finding.answer, answer);
}

// True when `frame` is one of the requests sent at this rate, byte for byte.
bool IsOurRequest(const RateRecord& record, std::span<const std::uint8_t> frame) {
    return std::ranges::any_of(record.sent, [frame](const TimedBytes& request) {
        return std::ranges::equal(request.bytes, frame);
    });
}

void TakeFrame(RateFinding& finding, const RateRecord& record,
               std::span<const std::uint8_t> frame) {
    if (IsOurRequest(record, frame)) {
        // An earlier request than the last, come back late: nothing else on
        // the line sends our request.
        ++finding.lateEchoes;
        return;
    }
    ++finding.replyFrames;
    const std::uint8_t command = ReplyCommand(frame);
    const std::optional<IdentifyReply> identity =
        command == CMD_IDENTIFY ? DecodeIdentifyReply(frame) : std::nullopt;
    const RateAnswer answer = identity && identity->deviceType == kZiron7DeviceType
                                  ? RateAnswer::Ziron7
                                  : RateAnswer::AnotherDevice;
    if (answer < finding.answer) {
        return;
    }
    finding.answer = answer;
    finding.command = command;
    finding.identity = identity;
}

// The pieces that came back after each request, until the next one went
// out. `midFrame` tells the requests that went out while part of a frame
// was held: the first pieces after them finish an earlier reply, so they
// say nothing of how late this one came.
ReplyTiming TimingOf(const RateRecord& record, const std::vector<bool>& midFrame) {
    ReplyTiming timing;
    std::vector<microseconds> lates;
    for (std::size_t i = 0; i < record.sent.size(); ++i) {
        const TimedBytes& request = record.sent[i];
        const microseconds until =
            i + 1 < record.sent.size() ? record.sent[i + 1].at : microseconds::max();
        std::vector<microseconds> pieces;
        for (const TimedBytes& piece : record.received) {
            if (piece.at >= request.at && piece.at < until) {
                pieces.push_back(piece.at);
            }
        }
        if (pieces.empty()) {
            continue;
        }
        ++timing.replies;
        timing.mostPieces = std::max(timing.mostPieces, pieces.size());
        for (std::size_t p = 1; p < pieces.size(); ++p) {
            timing.largestGap = std::max(timing.largestGap, pieces[p] - pieces[p - 1]);
        }
        if (midFrame[i]) {
            continue;
        }
        const microseconds earliest =
            request.at + WireTime(request.bytes.size() + 1, record.baudRate);
        lates.push_back(std::max(microseconds(0), pieces.front() - earliest));
    }
    if (!lates.empty()) {
        std::ranges::sort(lates);
        timing.leastLate = lates.front();
        timing.mostLate = lates.back();
        timing.typicalLate = lates[(lates.size() - 1) / 2];
    }
    return timing;
}

}  // namespace

RateFinding ClassifyRate(const RateRecord& record) {
    RateFinding finding;
    finding.baudRate = record.baudRate;
    FrameReassembler rx;
    OwnEcho echo;
    microseconds now(0);
    const FrameReassembler::FrameHandler onFrame = [&finding,
                                                    &record](std::span<const std::uint8_t> frame) {
        TakeFrame(finding, record, frame);
    };
    const FrameReassembler::OwnFrameTest isOwn = [&echo,
                                                  &now](std::span<const std::uint8_t> frame) {
        return echo.IsOwnEcho(frame, PointOf(now));
    };
    std::optional<microseconds> lastPiece;
    // The dialogs' receive gap falls due in a quiet time longer than it: a
    // partial frame held then is dropped, as the search drops it.
    const auto gapFallsDue = [&](microseconds at) {
        now = at;
        if (lastPiece && at - *lastPiece > std::chrono::milliseconds(kReceiveGapMs)) {
            std::span<const std::uint8_t> none;
            rx.OnReceiveGap(ReadOf(none), onFrame, isOwn);
        }
    };
    std::size_t nextSent = 0;
    std::vector<bool> midFrame(record.sent.size(), false);
    for (const TimedBytes& piece : record.received) {
        while (nextSent < record.sent.size() && record.sent[nextSent].at <= piece.at) {
            const TimedBytes& request = record.sent[nextSent];
            gapFallsDue(request.at);
            midFrame[nextSent++] = rx.HeldCount() > 0;
            echo.Sent(request.bytes, static_cast<std::uint32_t>(record.baudRate),
                      PointOf(request.at), OwnEcho::Answer::AlwaysDiffers);
        }
        gapFallsDue(piece.at);
        lastPiece = piece.at;
        std::span<const std::uint8_t> rest(piece.bytes);
        rx.Receive(ReadOf(rest), onFrame, isOwn);
        finding.bytesReceived += piece.bytes.size();
    }
    finding.ownEchoes = echo.EchoesPassedOver() - echo.LateEchoesPassedOver();
    finding.lateEchoes += echo.LateEchoesPassedOver();
    if (finding.bytesReceived > 0) {
        Heard(finding, RateAnswer::Garbage);
    }
    if (finding.ownEchoes + finding.lateEchoes > 0) {
        Heard(finding, RateAnswer::OwnEcho);
    }
    finding.timing = TimingOf(record, midFrame);
    return finding;
}
