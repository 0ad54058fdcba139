#include "LineObservation.h"

#include <array>

#include "CommandSet.h"
#include "LinkFrame.h"
#include "MonotonicClock.h"
#include "ReplyReceiver.h"
#include "SearchBaudRates.h"
#include "SerialBase.h"

namespace {

constexpr BYTE kDataBits = 8;
constexpr DWORD kReadChunk = 2048;  // bytes per read of what has arrived
// Reads that discard what the port held before a rate: a line that never
// falls quiet must not hold the diagnosis.
constexpr int kMostDiscardReads = 16;

std::chrono::microseconds Since(MonotonicTime start) {
    return std::chrono::duration_cast<std::chrono::microseconds>(MonotonicNow() - start);
}

void DiscardPending(CSerialBase& port) {
    std::array<std::uint8_t, kReadChunk> scratch{};
    for (int i = 0; i < kMostDiscardReads; ++i) {
        DWORD count = 0;
        if (port.ReadArrived(scratch.data(), kReadChunk, &count) != 0 || count == 0) {
            return;
        }
    }
}

// Takes in what has arrived until `until` (since `start`).
void CollectUntil(CSerialBase& port, MonotonicTime start, std::chrono::microseconds until,
                  RateRecord& record) {
    std::array<std::uint8_t, kReadChunk> buffer{};
    while (Since(start) < until) {
        DWORD count = 0;
        port.ReadArrived(buffer.data(), kReadChunk, &count);
        if (count > 0) {
            record.received.push_back({Since(start), {buffer.begin(), buffer.begin() + count}});
        } else {
            PauseFor(kDiagnosisPollPeriod);
        }
    }
}

}  // namespace

RateRecord ObserveRate(CSerialBase& port, std::int32_t baudRate) {
    RateRecord record;
    record.baudRate = baudRate;
    port.Configure(static_cast<DWORD>(baudRate), kDataBits, NOPARITY, ONESTOPBIT);
    DiscardPending(port);
    std::array<std::uint8_t, kFrameBufferSize> frame{};
    const RequestBytes identify = BuildIdentifyRequest();
    std::copy(identify.begin(), identify.end(), frame.begin());
    const std::uint8_t length = SealFrame(frame.data());
    const MonotonicTime start = MonotonicNow();
    for (int i = 1; i <= kDiagnosisRequestsPerRate; ++i) {
        const std::chrono::microseconds at = Since(start);
        if (at >= i * kDiagnosisRequestPeriod) {
            break;  // a slow write used up this request's time
        }
        DWORD written = 0;
        // Without a time-out of its own: the port bounds every write as
        // WriteLimit.h says from the moment it opens.
        const LONG result = port.Write(frame.data(), length, &written, nullptr, INFINITE);
        if (result != 0 || written != length) {
            break;
        }
        record.sent.push_back({at, {frame.begin(), frame.begin() + length}});
        CollectUntil(port, start, i * kDiagnosisRequestPeriod, record);
    }
    // A reply still coming in belongs to this rate, not to the next one:
    // the line is given until it has been quiet for the receive gap.
    const std::chrono::microseconds last = kDiagnosisRequestsPerRate * kDiagnosisRequestPeriod;
    while (!record.received.empty() && Since(start) < last + kDiagnosisRequestPeriod &&
           Since(start) - record.received.back().at < std::chrono::milliseconds(kReceiveGapMs)) {
        CollectUntil(port, start, Since(start) + kDiagnosisPollPeriod, record);
    }
    return record;
}

std::vector<RateRecord> ObserveLine(CSerialBase& port) {
    std::vector<RateRecord> records;
    for (const std::int32_t rate : SearchBaudRates) {
        records.push_back(ObserveRate(port, rate));
    }
    return records;
}
