// The listener in a simulated world: no thread, its steps as events of the
// world's system lane, on a port of that world.
#include <gtest/gtest.h>

#include <vector>

#include "LinkFrame.h"
#include "SerialWnd.h"
#include "SimulatedClock.h"
#include "winapi_seams.h"
#include "winapi_simulated_port.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

constexpr DWORD kRate = 38400;
constexpr nanoseconds kByteTime{10 * 1'000'000'000LL / kRate};
constexpr UINT kOwnMessage = 0x8123;

struct Posted {
    WPARAM wParam;
    MonotonicTime at;
};

class SilentFarEnd : public SimulatedFarEnd {
public:
    void Receive(std::span<const TimedByte> bytes, DWORD) override {
        received.insert(received.end(), bytes.begin(), bytes.end());
    }
    std::vector<TimedByte> received;
};

class TestPort : public CSerialWnd {
public:
    HANDLE WaitEvent() const { return waitEvent; }
};

class QueuedListenerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSeams();
        world.Install();
        line = &RegisterSimulatedPort("COM5", farEnd);
        owner = CreateWindowHandle([this](UINT message, WPARAM wParam, LPARAM) {
            if (message == kOwnMessage) {
                posted.push_back({wParam, world.Now()});
            }
        });
        ASSERT_EQ(port.Open("\\\\.\\COM5", owner, kOwnMessage, 0, 0, 0), 0);
        ASSERT_EQ(port.Configure(kRate, 8, NOPARITY, ONESTOPBIT), 0);
    }
    void TearDown() override {
        port.Close();
        DestroyWindowHandle(owner);
        UnregisterSimulatedPort("COM5");
    }

    void SendFromFarEnd(std::size_t count, MonotonicTime start) {
        std::vector<TimedByte> bytes;
        for (std::size_t i = 0; i < count; ++i) {
            bytes.push_back({static_cast<BYTE>(i), start + kByteTime * static_cast<long>(i + 1)});
        }
        line->Send(bytes);
    }
    void RunFor(milliseconds span) {
        const MonotonicTime until = world.Now() + span;
        world.RunSystemUntil([] { return false; }, &until);
    }

    SimulatedClock world{3};
    SilentFarEnd farEnd;
    SimulatedLine* line = nullptr;
    HWND owner = nullptr;
    TestPort port;
    std::vector<Posted> posted;
};

TEST_F(QueuedListenerTest, ArrivingBytesNotifyTheOwnerWithoutAThread) {
    EXPECT_EQ(CallCount(SeamCall::CreateThread), 0);
    const MonotonicTime start = world.Now();
    SendFromFarEnd(70, start);
    RunFor(milliseconds(50));
    ASSERT_FALSE(posted.empty());
    EXPECT_EQ(NotifiedEvents(posted.front().wParam), static_cast<DWORD>(EV_RXCHAR));
    EXPECT_GE(posted.front().at, start + kByteTime) << "never before the first byte is in";
    // Told as the bytes come in, in FIFO-sized pieces, not once per byte.
    EXPECT_GT(posted.size(), 1U);
    EXPECT_LT(posted.size(), 10U);
    EXPECT_LE(posted.back().at, start + kByteTime * 70);
    BYTE buffer[80];
    DWORD got = 0;
    EXPECT_EQ(port.ReadArrived(buffer, sizeof buffer, &got), 0);
    EXPECT_EQ(got, 70U);
}

TEST_F(QueuedListenerTest, AnEventSignalledWhileTheWaitIsPendingIsNoLostLine) {
    SetEvent(port.WaitEvent());
    RunFor(milliseconds(10));
    EXPECT_TRUE(posted.empty());
    SendFromFarEnd(3, world.Now());
    RunFor(milliseconds(10));
    ASSERT_EQ(posted.size(), 1U);
    EXPECT_EQ(NotifiedEvents(posted.front().wParam), static_cast<DWORD>(EV_RXCHAR));
}

TEST_F(QueuedListenerTest, APulledCableIsToldOnceAndTheListenerEnds) {
    line->Pull();
    RunFor(milliseconds(10));
    ASSERT_EQ(posted.size(), 1U);
    EXPECT_EQ(NotifiedEvents(posted.front().wParam), kLineLostEvent);
    EXPECT_EQ(world.Queued(SimulatedClock::Lane::System), 0U);
}

TEST_F(QueuedListenerTest, CloseIsImmediateAndLeavesNothingQueued) {
    SendFromFarEnd(30, world.Now());
    const MonotonicTime before = world.Now();
    EXPECT_EQ(port.Close(), 0);
    EXPECT_EQ(world.Now(), before) << "no waiting in simulated time either";
    EXPECT_EQ(world.Queued(SimulatedClock::Lane::System), 0U);
    RunFor(milliseconds(10));
    EXPECT_TRUE(posted.empty());
}

TEST_F(QueuedListenerTest, SendFrameTakesTheFramesWireTime) {
    std::uint8_t frame[kFrameOverhead + kMaxPayloadLength] = {0xFE, 0x46, 0x00};
    const MonotonicTime start = world.Now();
    EXPECT_EQ(port.SendFrame(frame), 0);
    ASSERT_EQ(farEnd.received.size(), static_cast<std::size_t>(kFrameOverhead));
    EXPECT_EQ(world.Now(), start + kByteTime * kFrameOverhead);
    EXPECT_EQ(farEnd.received.back().at, world.Now());
}

}  // namespace
