// The listener thread and the window notifications, on a real
// pseudo-terminal with fake owner windows.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "CommandSet.h"
#include "FakeOwner.h"
#include "LinkFrame.h"
#include "PtyLine.h"
#include "SerialCWnd.h"
#include "winapi_seams.h"

namespace {

using testsupport::PtyLine;

constexpr DWORD kDialogMask = EV_RXCHAR | EV_TXEMPTY | EV_BREAK | EV_ERR;  // 197
constexpr UINT kOwnMessage = 0x8123;

class TestPort : public CSerialCWnd {
public:
    HANDLE Thread() const { return listenerThread; }
    HANDLE WaitEvent() const { return waitEvent; }
};

// The driver's error counters, as a line with errors on it would show them.
std::atomic<std::uint64_t> fakeFrameErrors{0};
bool ReadFakeCounters(int, LineErrorCounters& counters) {
    counters = {};
    counters.frame = fakeFrameErrors.load();
    return true;
}

// The instrument side of a busy line: sends `chunk` over and over on its
// own thread until destroyed.
class Chatter {
public:
    Chatter(const PtyLine& line, std::string chunk)
        : sender_([this, &line, chunk] {
              while (sending_.load()) {
                  line.Send(chunk);
                  std::this_thread::yield();
              }
          }) {}
    ~Chatter() {
        sending_.store(false);
        sender_.join();
    }

private:
    std::atomic<bool> sending_{true};
    std::thread sender_;
};

// Waits until `condition` holds, up to two seconds.
template <typename Condition>
bool Eventually(Condition condition) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class SerialListenerTest : public ::testing::Test {
protected:
    void SetUp() override { ResetSeams(); }
    void TearDown() override {
        port.Close();
        ResetSeams();
        ReplaceLineErrorCounterReader(nullptr);
    }

    void OpenTo(CWnd* receiver, UINT message = 0, LPARAM userParam = 0) {
        ASSERT_EQ(port.Open(line.PortName().c_str(), receiver, message, userParam, 0, 0), 0);
    }

    PtyLine line;
    FakeOwner owner;
    TestPort port;
};

TEST_F(SerialListenerTest, ReceivedBytesNotifyTheOwnerWithTheDefaultMessage) {
    ASSERT_NE(serialDefaultComMessage, 0u);
    EXPECT_EQ(serialDefaultComMessage, RegisterWindowMessageA("CSerialWnd_DefaultComMsg"));
    OpenTo(&owner, 0, 77);
    line.Send("x");
    const auto notification = owner.Next();
    ASSERT_TRUE(notification);
    EXPECT_EQ(notification->message, serialDefaultComMessage);
    EXPECT_EQ(notification->wParam, WPARAM{EV_RXCHAR});
    EXPECT_EQ(notification->lParam, 77);
}

TEST_F(SerialListenerTest, ANamedMessageIsPostedInstead) {
    OpenTo(&owner, kOwnMessage);
    line.Send("x");
    const auto notification = owner.Next();
    ASSERT_TRUE(notification);
    EXPECT_EQ(notification->message, kOwnMessage);
}

TEST_F(SerialListenerTest, EventsAndErrorsOfOneWakeUpShareOneNotification) {
    ReplaceLineErrorCounterReader(&ReadFakeCounters);
    OpenTo(&owner);  // the mask after opening has both EV_RXCHAR and EV_ERR
    ++fakeFrameErrors;
    line.Send("x");
    const auto notification = owner.Next();
    ASSERT_TRUE(notification);
    EXPECT_EQ(notification->wParam, WPARAM{EV_RXCHAR | EV_ERR} | (WPARAM{CE_FRAME} << 16));
    EXPECT_FALSE(owner.Next(50));
}

TEST_F(SerialListenerTest, AFailedErrorQueryStillReportsTheEvents) {
    OpenTo(&owner);
    FailNextCalls(SeamCall::ClearCommError, 31);
    line.Send("x");
    const auto notification = owner.Next();
    ASSERT_TRUE(notification);
    EXPECT_EQ(notification->wParam, WPARAM{EV_RXCHAR});
}

TEST_F(SerialListenerTest, EventsOutsideTheMaskAndMaskChangesNotifyNobody) {
    OpenTo(&owner);
    // A rewrite that lands before the thread has armed its wait wakes
    // nothing, so rewrite until the thread has woken and armed it again.
    EXPECT_TRUE(Eventually([this] {
        port.SetEventMask(kDialogMask);
        return CallCount(SeamCall::WaitCommEvent) >= 2;
    }));
    EXPECT_FALSE(owner.Next(50));
    // A sent frame empties the output: EV_TXEMPTY is in the mask now.
    std::uint8_t frame[kFrameBufferSize] = {kRequestStartByte, CMD_IDENTIFY, 0};
    ASSERT_EQ(port.SendFrame(frame), 0);
    auto notification = owner.Next();
    ASSERT_TRUE(notification);
    EXPECT_EQ(notification->wParam, WPARAM{EV_TXEMPTY});
    ASSERT_EQ(port.SetEventMask(EV_TXEMPTY), 0);
    line.Send("ignored");
    EXPECT_FALSE(owner.Next(50));
}

TEST_F(SerialListenerTest, SetOwnerRedirectsLaterNotifications) {
    OpenTo(&owner, 0, 5);
    FakeOwner next;
    port.SetOwner(&next);
    line.Send("x");
    const auto notification = next.Next();
    ASSERT_TRUE(notification);
    EXPECT_EQ(notification->message, serialDefaultComMessage);
    EXPECT_EQ(notification->lParam, 5);
    EXPECT_FALSE(owner.Next(50));
}

TEST_F(SerialListenerTest, WithoutAnOwnerNotificationsGoNowhereUntilOneIsNamed) {
    OpenTo(nullptr);
    line.Send("x");
    EXPECT_FALSE(owner.Next(50));
    port.SetOwner(&owner);
    line.Send("y");
    EXPECT_TRUE(owner.Next());
}

TEST_F(SerialListenerTest, AnOwnerThatIsGoneLosesItsNotificationsSafely) {
    {
        FakeOwner shortLived;
        OpenTo(&shortLived);
    }
    line.Send("x");
    port.SetOwner(&owner);
    line.Send("y");
    EXPECT_TRUE(owner.Next());
}

TEST_F(SerialListenerTest, ANotificationHandledAfterCloseFindsThePortClosed) {
    OpenTo(&owner);
    line.Send("x");
    ASSERT_TRUE(owner.Next());
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    std::uint8_t buffer[299];
    DWORD count = 5;
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &count, nullptr, INFINITE), 6);
    EXPECT_EQ(count, 0u);
}

TEST_F(SerialListenerTest, AThreadThatCannotStartLeavesEverythingClosed) {
    FailNextCalls(SeamCall::CreateThread, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(port.Open(line.PortName().c_str(), &owner, 0, 0, 0, 0), 8);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Thread(), nullptr);
    OpenTo(&owner);  // nothing was left holding the port
}

TEST_F(SerialListenerTest, OpenOnAnOpenPortLeavesOwnerAndThreadAlone) {
    OpenTo(&owner, 0, 3);
    HANDLE thread = port.Thread();
    FakeOwner other;
    EXPECT_EQ(port.Open(line.PortName().c_str(), &other, kOwnMessage, 4, 0, 0), 1247);
    EXPECT_EQ(port.Thread(), thread);
    line.Send("x");
    const auto notification = owner.Next();
    ASSERT_TRUE(notification);
    EXPECT_EQ(notification->message, serialDefaultComMessage);
    EXPECT_EQ(notification->lParam, 3);
}

TEST_F(SerialListenerTest, StartAndStopAreIdempotent) {
    EXPECT_EQ(port.StopListener(INFINITE), 0);
    OpenTo(&owner);
    const int threadsBefore = CallCount(SeamCall::CreateThread);
    EXPECT_EQ(port.StartListener(), 0);
    EXPECT_EQ(CallCount(SeamCall::CreateThread), threadsBefore);
    EXPECT_EQ(port.StopListener(INFINITE), 0);
    EXPECT_EQ(port.Thread(), nullptr);
    EXPECT_EQ(port.StopListener(INFINITE), 0);
    EXPECT_EQ(port.StartListener(), 0);
    line.Send("x");
    EXPECT_TRUE(owner.Next());
}

TEST_F(SerialListenerTest, CloseAfterTheThreadEndedByItselfReturnsAtOnce) {
    FailNextCalls(SeamCall::WaitCommEvent, 31);
    OpenTo(&owner);
    EXPECT_EQ(WaitForSingleObject(port.Thread(), 2000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    ASSERT_TRUE(GetExitCodeThread(port.Thread(), &exitCode));
    EXPECT_EQ(exitCode, 31u);
    EXPECT_EQ(port.Close(), 0);
    EXPECT_EQ(port.Thread(), nullptr);
}

// A driver that fails every wait (a device gone) tells the owner once and
// the thread ends: it neither spins nor leaves the owner waiting.
TEST_F(SerialListenerTest, AFailingWaitTellsTheOwnerOnceAndEndsTheThread) {
    FailNextCalls(SeamCall::WaitCommEvent, ERROR_ACCESS_DENIED, 1000);
    OpenTo(&owner, 0, 5);
    const auto notification = owner.Next();
    ASSERT_TRUE(notification);
    EXPECT_EQ(notification->message, serialDefaultComMessage);
    EXPECT_EQ(notification->wParam, WPARAM{kLineLostEvent});
    EXPECT_EQ(notification->lParam, 5);
    EXPECT_EQ(WaitForSingleObject(port.Thread(), 2000), WAIT_OBJECT_0);
    EXPECT_FALSE(owner.Next(100));
    EXPECT_EQ(CallCount(SeamCall::WaitCommEvent), 1);
}

TEST_F(SerialListenerTest, AnEventSignalledWhileTheWaitIsPendingIsNoLostLine) {
    // Some drivers signal the wait's event before the wait has ended, on a
    // busy machine: the line is still there, and its next bytes are told.
    OpenTo(&owner);
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        SetEvent(port.WaitEvent());
    }
    EXPECT_FALSE(owner.Next(100));
    line.Send("x");
    const auto notification = owner.Next();
    ASSERT_TRUE(notification);
    EXPECT_EQ(notification->wParam, WPARAM{EV_RXCHAR});
    EXPECT_EQ(WaitForSingleObject(port.Thread(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_F(SerialListenerTest, AHungUpLineTellsTheOwner) {
    OpenTo(&owner);
    line.HangUp();
    std::optional<Notification> notification;
    do {
        notification = owner.Next();
    } while (notification && (notification->wParam & kLineLostEvent) == 0);
    ASSERT_TRUE(notification);
    EXPECT_EQ(notification->wParam, WPARAM{kLineLostEvent});
    EXPECT_EQ(WaitForSingleObject(port.Thread(), 2000), WAIT_OBJECT_0);
}

// Nobody reads the line, so it fills: SendFrame gives up within the frame's
// wire time and the margin, and says so.
TEST_F(SerialListenerTest, SendFrameOnAStalledLineEndsWithATimeOut) {
    OpenTo(&owner);
    ASSERT_EQ(port.Configure(115200, 8, NOPARITY, ONESTOPBIT), 0);
    line.StopReading();
    std::uint8_t frame[kFrameBufferSize] = {kRequestStartByte, CMD_IDENTIFY, 0};
    EXPECT_EQ(port.SendFrame(frame), static_cast<LONG>(ERROR_TIMEOUT));
    EXPECT_EQ(port.LastError(), static_cast<LONG>(ERROR_TIMEOUT));
    EXPECT_TRUE(port.IsOpen());
}

TEST_F(SerialListenerTest, SendFrameSealsAndWritesTheWholeFrame) {
    OpenTo(&owner);
    std::uint8_t frame[kFrameBufferSize] = {kRequestStartByte, CMD_IDENTIFY, 0};
    EXPECT_EQ(port.SendFrame(frame), 0);
    EXPECT_EQ(line.Receive(5), (std::vector<std::uint8_t>{0xFE, 0x46, 0x00, 0x22, 0x50}));
    EXPECT_EQ(frame[3], 0x22);
    EXPECT_EQ(frame[4], 0x50);
}

TEST_F(SerialListenerTest, StopEndsAnIdleListenerEveryTime) {
    // Repeated quickly, a stop sometimes lands while the thread is between
    // its flag test and its next wait.
    for (int cycle = 0; cycle < 300; ++cycle) {
        OpenTo(&owner);
        ASSERT_EQ(port.StopListener(INFINITE), 0);
        ASSERT_EQ(port.StartListener(), 0);
        ASSERT_EQ(port.Close(), 0);
    }
}

TEST_F(SerialListenerTest, StopEndsTheListenerUnderConstantTraffic) {
    const Chatter instrument(line, "0123456789");
    for (int cycle = 0; cycle < 50; ++cycle) {
        OpenTo(&owner);
        ASSERT_TRUE(owner.Next());
        ASSERT_EQ(port.Close(), 0);
    }
}

TEST_F(SerialListenerTest, AThousandOpenCloseCyclesWithTrafficNeverHang) {
    const Chatter instrument(line, "x");
    for (int cycle = 0; cycle < 1000; ++cycle) {
        OpenTo(&owner);
        std::uint8_t frame[kFrameBufferSize] = {kRequestStartByte, CMD_STATUS, 0};
        ASSERT_EQ(port.SendFrame(frame), 0);
        ASSERT_EQ(port.Close(), 0);
    }
}

// A driver that ignores the new mask, which should end the listener's wait:
// Close still ends the thread, within its bound, and releases the port.
TEST_F(SerialListenerTest, CloseEndsAListenerWhoseWaitTheMaskDoesNotEnd) {
    OpenTo(&owner);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // its wait is armed
    // Both masks Close writes and the one the listener itself writes when it
    // gives up its wait: only the listener's own cancel ends the wait.
    FailNextCalls(SeamCall::SetCommMask, ERROR_GEN_FAILURE, 3);
    // On a Close without a bound, a byte at last wakes the listener.
    std::atomic<bool> closed{false};
    std::thread lastResort([&] {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!closed.load() && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!closed.load()) {
            line.Send("x");
        }
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Close(), 0);
    const auto took = std::chrono::steady_clock::now() - start;
    closed.store(true);
    lastResort.join();
    EXPECT_LE(took, std::chrono::milliseconds(2 * kListenerStopMs + 250));
    EXPECT_EQ(port.Thread(), nullptr);
    EXPECT_FALSE(port.IsOpen());
}

// The application's port object goes while the instrument talks: its
// listener is stopped before any part of the object is destroyed, as it
// still calls the object's notification when the end begins.
TEST_F(SerialListenerTest, APortDestroyedUnderTrafficStopsItsListenerFirst) {
    const Chatter instrument(line, "0123456789");
    for (int cycle = 0; cycle < 50; ++cycle) {
        auto destroyed = std::make_unique<CSerialCWnd>();
        ASSERT_EQ(destroyed->Open(line.PortName().c_str(), &owner, 0, 0, 0, 0), 0);
        ASSERT_TRUE(owner.Next());
        destroyed.reset();
    }
}

}  // namespace
