// A port of a simulated world: the communications services on simulated
// time, honest about the line's pace.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "SimulatedClock.h"
#include "winapi.h"
#include "winapi_simulated_port.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

constexpr DWORD kRate = 9600;
// One 8N1 character at 9600 baud: 10 bit times.
constexpr nanoseconds kByteTime{10 * 1'000'000'000LL / kRate};

class RecordingFarEnd : public SimulatedFarEnd {
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
    void SetUp() override { world.Install(); }
    void TearDown() override {
        if (port != INVALID_HANDLE_VALUE && port != nullptr) {
            CloseHandle(port);
        }
        if (event != nullptr) {
            CloseHandle(event);
        }
        UnregisterSimulatedPort("COM3");
    }

    // Opens \\.\COM3 overlapped at 9600 8N1 with reads that take what is there.
    void Open(const SimulatedPortFaults& faults = {}) {
        line = &RegisterSimulatedPort("\\\\.\\COM3", farEnd, faults);
        port = CreateFileA("\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
        ASSERT_NE(port, INVALID_HANDLE_VALUE);
        DCB dcb;
        ASSERT_TRUE(GetCommState(port, &dcb));
        dcb.BaudRate = kRate;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        ASSERT_TRUE(SetCommState(port, &dcb));
        COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
        ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::memset(&overlapped, 0, sizeof overlapped);
        overlapped.hEvent = event;
    }

    // Bytes from the far end, paced at the port's rate from `start`.
    std::vector<TimedByte> Paced(const std::vector<BYTE>& values, MonotonicTime start) {
        std::vector<TimedByte> bytes;
        for (std::size_t i = 0; i < values.size(); ++i) {
            bytes.push_back({values[i], start + kByteTime * static_cast<long>(i + 1)});
        }
        return bytes;
    }

    void RunUntil(MonotonicTime when) {
        const MonotonicTime deadline = when;
        world.RunSystemUntil([] { return false; }, &deadline);
    }

    DWORD ReadNow(BYTE* buffer, DWORD length) {
        DWORD got = 0;
        EXPECT_TRUE(ReadFile(port, buffer, length, &got, nullptr));
        return got;
    }

    SimulatedClock world{7};
    RecordingFarEnd farEnd;
    SimulatedLine* line = nullptr;
    HANDLE port = nullptr;
    HANDLE event = nullptr;
    OVERLAPPED overlapped{};
};

TEST_F(SimulatedPortTest, AByteIsReadableOnlyFromTheEndOfItsStopBit) {
    Open();
    const MonotonicTime start = world.Now();
    line->Send(Paced({1, 2, 3, 4, 5}, start));
    BYTE buffer[8] = {};
    EXPECT_EQ(ReadNow(buffer, sizeof buffer), 0U) << "nothing has crossed the line yet";
    RunUntil(start + kByteTime * 3 - nanoseconds(1));
    EXPECT_EQ(ReadNow(buffer, sizeof buffer), 2U);
    RunUntil(start + kByteTime * 3);
    COMSTAT status{};
    DWORD errors = 0;
    ASSERT_TRUE(ClearCommError(port, &errors, &status));
    EXPECT_EQ(status.cbInQue, 1U);
    RunUntil(start + kByteTime * 5);
    EXPECT_EQ(ReadNow(buffer, sizeof buffer), 3U);
    EXPECT_EQ(buffer[0], 3);
    EXPECT_EQ(buffer[2], 5);
}

// The far end hands over a late reply long before its time and, after it,
// our own bytes returned at once (an echoing adapter): the echo must not
// wait behind the reply, as the line carries each run in the order of its
// time, one byte at a time.
TEST_F(SimulatedPortTest, BytesHandedOverLaterButDueSoonerArriveFirst) {
    Open();
    const MonotonicTime start = world.Now();
    line->Send(Paced({1, 2}, start + milliseconds(1000)));
    line->Send(Paced({7, 8}, start));
    RunUntil(start + kByteTime * 2);
    BYTE buffer[8] = {};
    ASSERT_EQ(ReadNow(buffer, sizeof buffer), 2U);
    EXPECT_EQ(buffer[0], 7);
    EXPECT_EQ(buffer[1], 8);
    RunUntil(start + milliseconds(1000) + kByteTime * 2);
    ASSERT_EQ(ReadNow(buffer, sizeof buffer), 2U);
    EXPECT_EQ(buffer[0], 1);

    // A run already begun is not split: what is due in its midst follows it.
    const MonotonicTime later = world.Now();
    line->Send(Paced({1, 2, 3}, later));
    line->Send(Paced({7, 8}, later + kByteTime));
    RunUntil(later + kByteTime * 10);
    ASSERT_EQ(ReadNow(buffer, sizeof buffer), 5U);
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + 5), (std::vector<BYTE>{1, 2, 3, 7, 8}));
}

TEST_F(SimulatedPortTest, AWriteTakesItsWireTimeAndReachesTheFarEndByteByByte) {
    Open();
    const MonotonicTime start = world.Now();
    const BYTE frame[4] = {0xFE, 0x46, 0x00, 0x22};
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(port, frame, sizeof frame, &written, &overlapped));
    EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_TRUE(farEnd.received.empty());
    ASSERT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(world.Now(), start + kByteTime * 4) << "completes as the last stop bit ends";
    ASSERT_TRUE(GetOverlappedResult(port, &overlapped, &written, FALSE));
    EXPECT_EQ(written, 4U);
    ASSERT_EQ(farEnd.received.size(), 4U);
    EXPECT_EQ(farEnd.rate, kRate);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(farEnd.received[i].value, frame[i]);
        EXPECT_EQ(farEnd.received[i].at, start + kByteTime * static_cast<long>(i + 1));
    }
    // A second write waits for the line and a plain one waits for its end.
    EXPECT_TRUE(WriteFile(port, frame, 2, &written, nullptr));
    EXPECT_EQ(written, 2U);
    EXPECT_EQ(world.Now(), start + kByteTime * 6);
}

TEST_F(SimulatedPortTest, AWriteTheLineDoesNotTakeEndsAtItsTimeoutWithWhatLeft) {
    Open();
    farEnd.stalled = true;
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 40};
    ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
    const MonotonicTime start = world.Now();
    const BYTE frame[3] = {1, 2, 3};
    DWORD written = 99;
    EXPECT_TRUE(WriteFile(port, frame, sizeof frame, &written, nullptr));
    EXPECT_EQ(written, 0U);
    EXPECT_EQ(world.Now(), start + milliseconds(40));
    EXPECT_TRUE(farEnd.received.empty());
}

TEST_F(SimulatedPortTest, AWriteThatIsSlowToLeaveStartsLate) {
    Open({{}, std::chrono::duration_cast<nanoseconds>(milliseconds(30)).count()});
    const MonotonicTime start = world.Now();
    const BYTE one = 0x55;
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(port, &one, 1, &written, nullptr));
    EXPECT_EQ(world.Now(), start + milliseconds(30) + kByteTime);
}

TEST_F(SimulatedPortTest, ArrivingBytesRaiseRxcharThroughThePendingWait) {
    Open();
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    DWORD events = 0;
    EXPECT_FALSE(WaitCommEvent(port, &events, &overlapped));
    EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
    const MonotonicTime start = world.Now() + milliseconds(5);
    line->Send(Paced({9, 8, 7}, start));
    ASSERT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(events, EV_RXCHAR);
    // Told no later than the burst's end, never before its first byte.
    EXPECT_GE(world.Now(), start + kByteTime);
    EXPECT_LE(world.Now(), start + kByteTime * 3);
}

TEST_F(SimulatedPortTest, ABlockingReadCompletesWhenItsLastByteArrives) {
    Open();
    COMMTIMEOUTS blocking{0, 0, 0, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port, &blocking));
    const MonotonicTime start = world.Now();
    std::vector<BYTE> values(40);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = static_cast<BYTE>(i);
    }
    line->Send(Paced(values, start));
    BYTE buffer[20] = {};
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(got, 20U);
    EXPECT_EQ(world.Now(), start + kByteTime * 20);
    EXPECT_EQ(buffer[19], 19);
}

TEST_F(SimulatedPortTest, StaleBytesWaitInTheInputWhenThePortOpens) {
    Open({{0xAA, 0xBB}, 0});
    BYTE buffer[4] = {};
    EXPECT_EQ(ReadNow(buffer, sizeof buffer), 2U);
    EXPECT_EQ(buffer[1], 0xBB);
}

// What a USB adapter heard before the port changed its rate reaches the
// program after the change, intact, when its latency timer runs out; a byte
// at the old rate that arrives after the change is not heard at all.
TEST_F(SimulatedPortTest, AnAdapterHoldsWhatItHeardUntilItsLatencyTimerRunsOut) {
    SimulatedPortFaults faults;
    faults.latencyTimerMs = 30;
    Open(faults);
    const MonotonicTime start = world.Now();
    std::vector<TimedByte> bytes = Paced({1, 2, 3, 4}, start);
    for (TimedByte& byte : bytes) {
        byte.baud = kRate;
    }
    bytes.back().at += milliseconds(5);  // still on the line at the change
    line->Send(bytes);
    RunUntil(start + kByteTime * 3);
    DCB dcb;
    ASSERT_TRUE(GetCommState(port, &dcb));
    dcb.BaudRate = 2 * kRate;
    ASSERT_TRUE(SetCommState(port, &dcb));
    BYTE buffer[8] = {};
    EXPECT_EQ(ReadNow(buffer, sizeof buffer), 0U) << "held by the adapter";
    const MonotonicTime released = start + kByteTime + milliseconds(30);
    RunUntil(released - nanoseconds(1));
    EXPECT_EQ(ReadNow(buffer, sizeof buffer), 0U);
    RunUntil(released);
    ASSERT_EQ(ReadNow(buffer, sizeof buffer), 3U);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[2], 3);
    RunUntil(released + milliseconds(60));
    EXPECT_EQ(ReadNow(buffer, sizeof buffer), 0U) << "the fourth came at the old rate";
}

TEST_F(SimulatedPortTest, AnAdapterPassesAFullPacketOnAtOnce) {
    SimulatedPortFaults faults;
    faults.latencyTimerMs = 100;  // longer than 62 bytes take at 9600 baud
    Open(faults);
    const MonotonicTime start = world.Now();
    line->Send(Paced(std::vector<BYTE>(70, 0x55), start));
    RunUntil(start + kByteTime * 62);
    BYTE buffer[80] = {};
    EXPECT_EQ(ReadNow(buffer, sizeof buffer), 62U);
    RunUntil(start + kByteTime * 63 + milliseconds(100) - nanoseconds(1));
    EXPECT_EQ(ReadNow(buffer, sizeof buffer), 0U) << "the next packet's timer runs";
    RunUntil(start + kByteTime * 63 + milliseconds(100));
    EXPECT_EQ(ReadNow(buffer, sizeof buffer), 8U);
}

// What waits at the open: whole packets are in the driver's queue, and the
// rest comes once the adapter's timer runs out, after any read that
// emptied the input.
TEST_F(SimulatedPortTest, StaleBytesBeyondTheLastWholePacketComeAfterTheOpen) {
    SimulatedPortFaults faults;
    faults.latencyTimerMs = 20;
    faults.staleInput = std::vector<BYTE>(62 + 5, 0x46);
    Open(faults);
    const MonotonicTime opened = world.Now();
    BYTE buffer[80] = {};
    EXPECT_EQ(ReadNow(buffer, sizeof buffer), 62U) << "the packet the adapter passed on";
    RunUntil(opened + milliseconds(20) - nanoseconds(1));
    EXPECT_EQ(ReadNow(buffer, sizeof buffer), 0U);
    RunUntil(opened + milliseconds(20));
    EXPECT_EQ(ReadNow(buffer, sizeof buffer), 5U);
}

TEST_F(SimulatedPortTest, OneUserAtATimeAndTheNextFindsTheStateLeft) {
    Open();
    EXPECT_EQ(CreateFileA("COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    line->Send(Paced({1, 2}, world.Now()));
    ASSERT_TRUE(CloseHandle(port));
    EXPECT_EQ(line->ListeningRate(), 0U);
    port = CreateFileA("com3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DCB dcb;
    ASSERT_TRUE(GetCommState(port, &dcb));
    EXPECT_EQ(dcb.BaudRate, kRate);
    RunUntil(world.Now() + milliseconds(10));
    BYTE buffer[4] = {};
    EXPECT_EQ(ReadNow(buffer, sizeof buffer), 0U) << "what came while closed is gone";
}

TEST_F(SimulatedPortTest, APulledCableFailsTheWaitAndTheNextOpen) {
    Open();
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    DWORD events = 0;
    EXPECT_FALSE(WaitCommEvent(port, &events, &overlapped));
    line->Pull();
    DWORD ignored = 0;
    EXPECT_FALSE(GetOverlappedResult(port, &overlapped, &ignored, TRUE));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    CloseHandle(port);
    port = CreateFileA("COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(port, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

// A dialog that gives up its write cancels that write alone: the event
// wait is the listener's (its own thread on a real system), and a line
// lost for it would end the update at the first held write.
TEST_F(SimulatedPortTest, CancelIoCutsAWriteWhereTheLineIsAndLeavesTheEventWaitArmed) {
    Open();
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    HANDLE waitEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED waiting{};
    waiting.hEvent = waitEvent;
    DWORD events = 0;
    EXPECT_FALSE(WaitCommEvent(port, &events, &waiting));
    EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
    const MonotonicTime start = world.Now();
    const BYTE frame[10] = {};
    EXPECT_FALSE(WriteFile(port, frame, sizeof frame, nullptr, &overlapped));
    RunUntil(start + kByteTime * 3);
    ASSERT_TRUE(CancelIo(port));
    DWORD written = 0;
    EXPECT_FALSE(GetOverlappedResult(port, &overlapped, &written, TRUE));
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(written, 3U);
    EXPECT_EQ(farEnd.received.size(), 3U);

    DWORD ignored = 0;
    EXPECT_FALSE(GetOverlappedResult(port, &waiting, &ignored, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
    line->Send(Paced({1}, world.Now()));
    ASSERT_EQ(WaitForSingleObject(waitEvent, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(GetOverlappedResult(port, &waiting, &ignored, FALSE));
    EXPECT_EQ(events, EV_RXCHAR);
    CloseHandle(waitEvent);
}

TEST_F(SimulatedPortTest, APortWhoseRegistrationGoesIsClosedForGood) {
    Open();
    const BYTE frame[4] = {};
    EXPECT_FALSE(WriteFile(port, frame, sizeof frame, nullptr, &overlapped));
    UnregisterSimulatedPort("COM3");
    DWORD written = 0;
    EXPECT_FALSE(GetOverlappedResult(port, &overlapped, &written, TRUE));
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_TRUE(farEnd.received.empty()) << "nothing reaches a far end that is going";
    DCB dcb;
    EXPECT_FALSE(GetCommState(port, &dcb));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// Waits of the dialogs' thread run the system lane in simulated time.
TEST_F(SimulatedPortTest, WaitsPassInSimulatedTime) {
    event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const MonotonicTime start = world.Now();
    EXPECT_EQ(WaitForSingleObject(event, 50), WAIT_TIMEOUT);
    EXPECT_EQ(world.Now(), start + milliseconds(50));
    world.After(milliseconds(20), SimulatedClock::Lane::System, [this] { SetEvent(event); });
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(world.Now(), start + milliseconds(70));
    ResetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_FAILED) << "nothing left can set it";
}

void CALLBACK CountCall(PVOID context, BOOLEAN) {
    ++*static_cast<int*>(context);
}

TEST_F(SimulatedPortTest, ARegisteredWaitIsASystemEventAfterTheSignal) {
    event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    int calls = 0;
    HANDLE registration = nullptr;
    ASSERT_TRUE(RegisterWaitForSingleObject(&registration, event, &CountCall, &calls, INFINITE,
                                            WT_EXECUTEONLYONCE));
    SetEvent(event);
    EXPECT_EQ(calls, 0) << "queued, not called from SetEvent";
    world.RunNext();
    EXPECT_EQ(calls, 1);
    ASSERT_TRUE(UnregisterWait(registration));

    HANDLE dropped = nullptr;
    ASSERT_TRUE(RegisterWaitForSingleObject(&dropped, event, &CountCall, &calls, INFINITE,
                                            WT_EXECUTEONLYONCE));
    ASSERT_TRUE(UnregisterWait(dropped));
    while (world.RunNext()) {
    }
    EXPECT_EQ(calls, 1) << "an ended registration is never called";
}

}  // namespace
