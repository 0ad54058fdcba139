#include "InstrumentEnd.h"

#include "FirmwareSeed.h"

#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <utility>

namespace sim {
namespace {

WireFaults WireFaultsFrom(const SimOptions& options) {
    return {options.flipIn,  options.flipOut, options.dropIn,
            options.dropOut, options.pace,    options.noise};
}

std::uint64_t SeedFrom(const SimOptions& options) {
    if (options.seed) {
        return *options.seed;
    }
    const std::uint64_t seed = std::random_device{}();
    std::fprintf(stderr, "ziron7-sim: fault dice seeded with %llu\n",
                 static_cast<unsigned long long>(seed));
    return seed;
}

ReplyKind KindOf(const Request& request) {
    switch (request.Command()) {
        case kCmdStatus:
            return ReplyKind::Status;
        case kCmdInfo:
            return ReplyKind::Information;
        case kCmdLoader:
            return ReplyKind::Loader;
        default:
            return ReplyKind::Identify;
    }
}

}  // namespace

InstrumentEnd::InstrumentEnd(const SimOptions& options, SimTime start)
    : m_options(options),
      m_wire(WireFaultsFrom(options), SeedFrom(options)),
      m_transcript(start),
      m_burstAt(start) {}

bool InstrumentEnd::Start(std::string& error) {
    std::vector<std::uint8_t> seed;
    if (!FlashFileExists(m_options.flashPath)) {
        if (!LoadSeedImage(m_options.firmwarePath, seed, error)) {
            return false;
        }
        SetBuildDate(seed, m_options.firmwareDate);
    }
    if (!m_flash.Open(m_options.flashPath, seed, m_options.reprogrammings, error)) {
        return false;
    }
    const Identity identity{static_cast<std::uint8_t>(m_options.deviceType),
                            static_cast<std::uint8_t>(m_options.year - kYearBase),
                            static_cast<std::uint8_t>(m_options.month),
                            static_cast<std::uint16_t>(m_options.serialNumber)};
    m_instrument = std::make_unique<Instrument>(
        identity, m_flash, m_options.mainBaud,
        MainProgramFaults{m_options.badSignature, m_options.neverEnter, m_options.lostSwitchesIn,
                          m_options.infoBadChecksum, m_options.unansweredInfoStep},
        BootloaderFaults{m_options.stuck, m_options.stuckPasses, m_options.neverLeave,
                         m_options.lostSwitchBacks, m_options.bootEcho, m_options.seed.value_or(0)},
        m_options.startInBootloader);
    return m_options.transcriptPath.empty() || m_transcript.Open(m_options.transcriptPath, error);
}

void InstrumentEnd::Receive(std::span<const std::uint8_t> bytes, std::uint32_t lineRate,
                            SimTime now) {
    if (m_options.echo) {
        // Returned as the line carries them, at the updater's own rate,
        // before anything the instrument makes of them.
        for (const std::uint8_t value : bytes) {
            Hold(value, now, lineRate);
        }
    }
    m_wire.Receive(bytes, lineRate, now);
}

void InstrumentEnd::ReceiveTimed(std::span<const LineByte> bytes, std::uint32_t lineRate) {
    for (const LineByte& byte : bytes) {
        if (m_options.echo) {
            Hold(byte.value, byte.at, lineRate);
        }
        m_wire.ReceiveAt(byte.value, lineRate, byte.at);
    }
}

bool InstrumentEnd::HandleArrived(SimTime now) {
    while (const auto byte = m_wire.NextArrived(now, m_instrument->Rate())) {
        if (const auto frame = m_reader.Feed(*byte)) {
            if (!HandleFrame(*frame, byte->at)) {
                return false;
            }
        }
    }
    return true;
}

bool InstrumentEnd::HandleFrame(const CutFrame& frame, SimTime arrivedAt) {
    const std::uint32_t rate = m_instrument->Rate();
    const char* program = m_instrument->ProgramName();
    Transcript::Entry entry{arrivedAt, true, rate, program, {}, {}, frame.bytes};
    if (!frame.intact) {
        entry.meaning = "broken frame";
        entry.outcome = "ignored: bad length or checksum";
        m_transcript.Record(entry);
        return true;
    }
    ++m_framesReceived;
    const Request request{frame.bytes.data()};
    const std::string meaning = m_transcript.IsOpen() ? DescribeRequest(request) : std::string();
    entry.meaning = meaning;
    if (m_options.hangupAfter && m_framesReceived > *m_options.hangupAfter) {
        entry.outcome = "hangs up";
        m_transcript.Record(entry);
        return false;
    }
    if (m_options.stallAfter && m_framesReceived > *m_options.stallAfter) {
        entry.outcome = "stops reading: the line stalls";
        m_transcript.Record(entry);
        m_stalled = true;
        return true;
    }
    if (m_options.silentAfter && m_framesReceived > *m_options.silentAfter) {
        entry.outcome = "ignored: fallen silent";
        m_transcript.Record(entry);
        return true;
    }
    if (arrivedAt < m_programReadyAt) {
        entry.outcome = "ignored: still starting";
        m_transcript.Record(entry);
        return true;
    }
    const ProgramAnswer answer = m_instrument->Answer(request);
    if (answer.switchesProgram) {
        const int startMs =
            m_instrument->BootloaderRuns() ? m_options.bootStartMs : m_options.mainStartMs;
        m_programReadyAt = arrivedAt + std::chrono::milliseconds(startMs);
    }
    const std::string outcome = answer.outcome.empty() ? "answered" : answer.outcome;
    entry.outcome = outcome;
    m_transcript.Record(entry);
    const int delayMs = ReplyDelayMs(m_options, KindOf(request));
    Reply(answer, rate, program, arrivedAt + std::chrono::milliseconds(delayMs));
    return true;
}

void InstrumentEnd::Reply(const ProgramAnswer& answer, std::uint32_t rate, const char* program,
                          SimTime notBefore) {
    if (!answer.reply) {
        return;
    }
    std::vector<std::uint8_t> frame = SealReply(*answer.reply, m_options.replyBit7);
    if (answer.brokenChecksum) {
        frame.back() ^= 0xFF;
    }
    const int copies = m_wire.Chance(m_options.duplicate) ? 2 : 1;
    for (int copy = 0; copy < copies; ++copy) {
        std::function<void(SimTime)> onStart;
        if (m_transcript.IsOpen()) {
            onStart = [this, frame, rate, program, meaning = answer.replyMeaning](SimTime at) {
                m_transcript.Record({at, false, rate, program, meaning, {}, frame});
            };
        }
        m_wire.Send(frame, rate, notBefore, std::move(onStart));
    }
}

SimTime InstrumentEnd::ReleaseTime(SimTime due) {
    if (m_options.chunkMs == 0) {
        return due;
    }
    // The adapter's timer starts with the first byte it holds.
    if (due > m_burstAt) {
        m_burstAt = due + std::chrono::milliseconds(m_options.chunkMs);
    }
    return m_burstAt;
}

void InstrumentEnd::Hold(std::uint8_t value, SimTime due, std::uint32_t rate) {
    m_held.push_back({value, ReleaseTime(due), rate});
}

void InstrumentEnd::TakeDue(SimTime until, std::uint32_t lineRate, std::vector<LineByte>& out) {
    if (m_held.empty() && m_options.chunkMs == 0) {
        // Nothing waits for a burst: the wire's bytes go out as they fall due.
        m_wire.TakeDue(until, lineRate, [&out](std::uint8_t value, SimTime due, std::uint32_t rate) {
            out.push_back({value, due, rate});
        });
        return;
    }
    m_wire.TakeDue(until, lineRate, [this](std::uint8_t value, SimTime due, std::uint32_t rate) {
        Hold(value, due, rate);
    });
    while (!m_held.empty() && m_held.front().at <= until) {
        out.push_back(m_held.front());
        m_held.pop_front();
    }
}

std::optional<SimTime> InstrumentEnd::NextEvent() const {
    std::optional<SimTime> next = m_wire.NextEvent();
    if (!m_held.empty() && (!next || m_held.front().at < *next)) {
        next = m_held.front().at;
    }
    return next;
}

}  // namespace sim
