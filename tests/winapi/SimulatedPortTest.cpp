// A port of a simulated world through the communications services: bytes
// keep their wire time in both directions, waits and time-outs run in
// simulated time, and the port's event wait is completed by arrivals.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "SimulatedClock.h"
#include "winapi.h"
#include "winapi_simulated_port.h"

namespace {

using namespace std::chrono_literals;

constexpr char kPortName[] = "\\\\.\\COM7";
constexpr DWORD kRate = 9600;  // bits per second
// One 8N1 character at 9600 bit/s: 10 bit times.
constexpr auto kByteTime = std::chrono::nanoseconds(10'000'000'000 / kRate);

// Keeps what the program sent, with the times each byte arrived.
class RecordingFarEnd final : public SimulatedFarEnd {
public:
    void Receive(std::span<const TimedByte> bytes, DWORD baud) override {
        received.insert(received.end(), bytes.begin(), bytes.end());
        rate = baud;
    }
    bool Stalled() const override { return stalled; }

    std::vector<TimedByte> received;
    DWORD rate = 0;
    bool stalled = false;
};

class SimulatedPortTest : public ::testing::Test {
protected:
    SimulatedPortTest() : line(RegisterSimulatedPort(kPortName, farEnd)) { world.Install(); }
    ~SimulatedPortTest() override {
        if (port != INVALID_HANDLE_VALUE) {
            CloseHandle(port);
        }
        for (HANDLE event : events) {
            CloseHandle(event);
        }
        UnregisterSimulatedPort(kPortName);
    }

    void Open(bool overlapped = true) {
        port = CreateFileA(kPortName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
        ASSERT_NE(port, INVALID_HANDLE_VALUE);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(GetCommState(port, &dcb));
        dcb.BaudRate = kRate;
        ASSERT_TRUE(SetCommState(port, &dcb));
        // Reads return what is there at once.
        COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
        ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
    }

    OVERLAPPED Overlapped() {
        OVERLAPPED overlapped{};
        overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        events.push_back(overlapped.hEvent);
        return overlapped;
    }

    // `count` bytes from the far end, back to back, the first ending `first` from now.
    std::vector<TimedByte> Burst(std::size_t count, std::chrono::nanoseconds first) const {
        std::vector<TimedByte> bytes;
        for (std::size_t i = 0; i < count; ++i) {
            bytes.push_back({static_cast<BYTE>(0x40 + i),
                             world.Now() + first + kByteTime * static_cast<int>(i)});
        }
        return bytes;
    }

    DWORD Queued() {
        DWORD errors = 0;
        COMSTAT status{};
        EXPECT_TRUE(ClearCommError(port, &errors, &status));
        return status.cbInQue;
    }

    // Runs the system lane up to `when`.
    void RunTo(MonotonicTime when) {
        world.RunSystemUntil([] { return false; }, &when);
    }

    SimulatedClock world{1};
    RecordingFarEnd farEnd;
    SimulatedLine& line;
    HANDLE port = INVALID_HANDLE_VALUE;
    std::vector<HANDLE> events;
};

TEST_F(SimulatedPortTest, AByteIsReadableOnlyFromTheEndOfItsStopBit) {
    Open();
    const MonotonicTime start = world.Now();
    line.Send(Burst(3, kByteTime));
    const MonotonicTime lastEnds = start + 3 * kByteTime;

    RunTo(lastEnds - 1ns);
    BYTE buffer[8] = {};
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(read, 2u) << "the third byte is still on the wire";

    RunTo(lastEnds);
    ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &read, nullptr));
    ASSERT_EQ(read, 1u);
    EXPECT_EQ(buffer[0], 0x42);
}

TEST_F(SimulatedPortTest, AWriteTakesItsWireTimeAndTheFarEndGetsEachByteAtItsEnd) {
    Open();
    const MonotonicTime start = world.Now();
    OVERLAPPED overlapped = Overlapped();
    const BYTE frame[5] = {1, 2, 3, 4, 5};
    DWORD written = 0;
    ASSERT_FALSE(WriteFile(port, frame, sizeof frame, &written, &overlapped));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);

    RunTo(start + 5 * kByteTime - 1ns);
    EXPECT_FALSE(GetOverlappedResult(port, &overlapped, &written, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
    EXPECT_TRUE(farEnd.received.empty()) << "bytes reach the far end when the write is done";

    ASSERT_TRUE(GetOverlappedResult(port, &overlapped, &written, TRUE));
    EXPECT_EQ(written, 5u);
    EXPECT_EQ(world.Now(), start + 5 * kByteTime);
    ASSERT_EQ(farEnd.received.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(farEnd.received[i].value, frame[i]);
        EXPECT_EQ(farEnd.received[i].at, start + kByteTime * static_cast<int>(i + 1));
    }
    EXPECT_EQ(farEnd.rate, kRate);
}

TEST_F(SimulatedPortTest, WritesQueueBehindEachOtherOnTheLine) {
    Open(false);
    const MonotonicTime start = world.Now();
    const BYTE first[4] = {};
    const BYTE second[2] = {};
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port, first, sizeof first, &written, nullptr));
    ASSERT_TRUE(WriteFile(port, second, sizeof second, &written, nullptr));
    EXPECT_EQ(world.Now(), start + 6 * kByteTime);
    ASSERT_EQ(farEnd.received.size(), 6u);
    EXPECT_EQ(farEnd.received.back().at, start + 6 * kByteTime);
}

TEST_F(SimulatedPortTest, AWriteTimeOutCutsTheWriteWhereTheLineIs) {
    Open();
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 10};  // 10 ms for the whole write
    ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
    const std::vector<BYTE> longFrame(100, 0x55);  // 104 ms at 9600 bit/s
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port, longFrame.data(), static_cast<DWORD>(longFrame.size()), &written,
                          nullptr));
    EXPECT_EQ(written, 9u) << "9 whole bytes fit in 10 ms";
    EXPECT_EQ(farEnd.received.size(), 9u);

    farEnd.stalled = true;  // a line held by flow control: nothing leaves
    ASSERT_TRUE(WriteFile(port, longFrame.data(), 1, &written, nullptr));
    EXPECT_EQ(written, 0u);
}

TEST_F(SimulatedPortTest, TakingWhatHasArrivedLeavesWhatIsStillOnTheWire) {
    Open();
    line.Send(Burst(10, kByteTime));
    RunTo(world.Now() + 4 * kByteTime);
    ASSERT_EQ(Queued(), 4u);
    BYTE buffer[16];
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(port, buffer, Queued(), &read, nullptr));
    EXPECT_EQ(read, 4u);
    EXPECT_EQ(Queued(), 0u);
    RunTo(world.Now() + 6 * kByteTime);
    EXPECT_EQ(Queued(), 6u);
}

TEST_F(SimulatedPortTest, ArrivalsCompleteAPendingEventWaitThroughItsEvent) {
    Open();
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    OVERLAPPED overlapped = Overlapped();
    DWORD events = 0;
    ASSERT_FALSE(WaitCommEvent(port, &events, &overlapped));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);

    const MonotonicTime start = world.Now();
    line.Send(Burst(1, 3ms));
    ASSERT_EQ(WaitForSingleObject(overlapped.hEvent, 100), WAIT_OBJECT_0);
    EXPECT_EQ(world.Now(), start + 3ms) << "the wait ends when the byte arrives, not before";
    EXPECT_EQ(events, static_cast<DWORD>(EV_RXCHAR));
}

TEST_F(SimulatedPortTest, WaitsRunOutInSimulatedTime) {
    Open();
    const MonotonicTime start = world.Now();
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    events.push_back(event);
    EXPECT_EQ(WaitForSingleObject(event, 250), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(world.Now(), start + 250ms);
    // Nothing queued could ever end this one: it fails instead of hanging.
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_FAILED);
}

TEST_F(SimulatedPortTest, ABlockingReadWaitsForItsBytesOrItsTimeOut) {
    Open(false);
    COMMTIMEOUTS timeouts{0, 0, 50, 0, 0};  // the whole read within 50 ms
    ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
    const MonotonicTime start = world.Now();
    line.Send(Burst(3, 2ms));
    BYTE buffer[3];
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(port, buffer, 3, &read, nullptr));
    EXPECT_EQ(read, 3u);
    EXPECT_EQ(world.Now(), start + 2ms + 2 * kByteTime);

    ASSERT_TRUE(ReadFile(port, buffer, 3, &read, nullptr));
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(world.Now(), start + 2ms + 2 * kByteTime + 50ms);
}

TEST_F(SimulatedPortTest, APulledCableFailsThePendingWaitAndLaterOpens) {
    Open();
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    OVERLAPPED overlapped = Overlapped();
    DWORD events = 0;
    ASSERT_FALSE(WaitCommEvent(port, &events, &overlapped));
    line.Pull();
    DWORD ignored = 0;
    EXPECT_FALSE(GetOverlappedResult(port, &overlapped, &ignored, TRUE));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    CloseHandle(port);
    port = CreateFileA(kPortName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr);
    EXPECT_EQ(port, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(SimulatedPortTest, StaleBytesWaitInTheInputWhenThePortOpens) {
    UnregisterSimulatedPort(kPortName);
    SimulatedPortFaults faults;
    faults.staleInput = {0xAA, 0xBB};
    RegisterSimulatedPort(kPortName, farEnd, faults);
    Open();
    EXPECT_EQ(Queued(), 2u);
}

TEST_F(SimulatedPortTest, ClosingEndsWhatIsPendingAndBytesLaterAreLost) {
    Open();
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    OVERLAPPED overlapped = Overlapped();
    DWORD events = 0;
    ASSERT_FALSE(WaitCommEvent(port, &events, &overlapped));
    ASSERT_TRUE(CloseHandle(port));
    port = INVALID_HANDLE_VALUE;
    EXPECT_EQ(overlapped.Internal, ERROR_OPERATION_ABORTED);
    EXPECT_EQ(line.ListeningRate(), 0u);
    line.Send(Burst(2, kByteTime));  // into a closed port: nowhere
    Open();
    RunTo(world.Now() + 10ms);
    EXPECT_EQ(Queued(), 0u);
}

}  // namespace
