// The communications services on a real pseudo-terminal: exclusive open,
// read time-out modes, event waits, cancellation, closing and a line that
// goes away.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include <unistd.h>

#include "PseudoTerminal.h"
#include "PtyLine.h"
#include "winapi.h"
#include "winapi_seams.h"

namespace {

using namespace std::chrono_literals;
using testsupport::PtyLine;

class CommServicesTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (port_ != INVALID_HANDLE_VALUE) {
            CloseHandle(port_);
        }
        for (HANDLE event : events_) {
            CloseHandle(event);
        }
    }

    HANDLE OpenPort(bool overlapped) {
        port_ = CreateFileA(line.PortName().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
        EXPECT_NE(port_, INVALID_HANDLE_VALUE);
        return port_;
    }

    // A zeroed OVERLAPPED with a fresh manual-reset event.
    OVERLAPPED Overlapped() {
        OVERLAPPED overlapped{};
        overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        events_.push_back(overlapped.hEvent);
        return overlapped;
    }

    PtyLine line;
    HANDLE port_ = INVALID_HANDLE_VALUE;
    std::vector<HANDLE> events_;
};

TEST_F(CommServicesTest, APortHasOneUserAtATime) {
    HANDLE first = OpenPort(true);
    HANDLE second = CreateFileA(line.PortName().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    ASSERT_TRUE(CloseHandle(first));
    port_ = INVALID_HANDLE_VALUE;
    OpenPort(false);
}

TEST_F(CommServicesTest, AClosedHandleIsRefused) {
    HANDLE port = OpenPort(true);
    ASSERT_TRUE(CloseHandle(port));
    port_ = INVALID_HANDLE_VALUE;
    DCB dcb{};
    EXPECT_FALSE(GetCommState(port, &dcb));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(port));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

struct TimeoutCase {
    const char* name;
    COMMTIMEOUTS timeouts;
    const char* before;  // on the line before the read starts
    const char* during;  // sent 20 ms into the read ("" for nothing)
    DWORD length;
    DWORD expected;
};

class ReadTimeoutTest : public CommServicesTest,
                        public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(ReadTimeoutTest, AReadEndsAsItsTimeOutsSay) {
    const TimeoutCase& c = GetParam();
    HANDLE port = OpenPort(false);
    ASSERT_TRUE(SetCommTimeouts(port, &c.timeouts));
    DWORD mask = EV_RXCHAR;
    ASSERT_TRUE(SetCommMask(port, mask));
    if (*c.before != '\0') {
        line.Send(c.before);
        DWORD events = 0;
        ASSERT_TRUE(WaitCommEvent(port, &events, nullptr));
    }
    std::thread later([&] {
        if (*c.during != '\0') {
            std::this_thread::sleep_for(20ms);
            line.Send(c.during);
        }
    });
    std::uint8_t buffer[64] = {};
    DWORD count = 99;
    EXPECT_TRUE(ReadFile(port, buffer, c.length, &count, nullptr));
    later.join();
    EXPECT_EQ(count, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ReadTimeoutTest,
    ::testing::Values(
        // Take what is there, at once.
        TimeoutCase{"NonBlockingEmpty", {MAXDWORD, 0, 0, 0, 0}, "", "", 10, 0},
        TimeoutCase{"NonBlocking", {MAXDWORD, 0, 0, 0, 0}, "abc", "", 10, 3},
        // Wait for the whole count.
        TimeoutCase{"Blocking", {0, 0, 0, 0, 0}, "ab", "cd", 4, 4},
        // The total time runs out with what has come.
        TimeoutCase{"TotalTimeOut", {0, 0, 60, 0, 0}, "abc", "", 10, 3},
        TimeoutCase{"TotalTimeOutEmpty", {0, 0, 30, 0, 0}, "", "", 10, 0},
        // A gap after the last byte ends it.
        TimeoutCase{"IntervalGap", {15, 0, 0, 0, 0}, "", "xyz", 10, 3},
        // Return at the first bytes, or with none after the constant.
        TimeoutCase{"FirstBytes", {MAXDWORD, MAXDWORD, 2000, 0, 0}, "", "xy", 10, 2},
        TimeoutCase{"FirstBytesNone", {MAXDWORD, MAXDWORD, 30, 0, 0}, "", "", 10, 0}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(CommServicesTest, AMaskChangeEndsAPendingWaitWithNoEvents) {
    HANDLE port = OpenPort(true);
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    OVERLAPPED overlapped = Overlapped();
    DWORD events = 0xFFFF;
    EXPECT_FALSE(WaitCommEvent(port, &events, &overlapped));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    OVERLAPPED second = Overlapped();
    DWORD secondEvents = 0;
    EXPECT_FALSE(WaitCommEvent(port, &secondEvents, &second));  // one wait at a time
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    ASSERT_EQ(WaitForSingleObject(overlapped.hEvent, 2000), WAIT_OBJECT_0);
    DWORD ignored = 0;
    EXPECT_TRUE(GetOverlappedResult(port, &overlapped, &ignored, FALSE));
    EXPECT_EQ(events, 0u);
}

TEST_F(CommServicesTest, AWaitForNothingIsRefused) {
    HANDLE port = OpenPort(true);
    ASSERT_TRUE(SetCommMask(port, 0));
    DWORD events = 0;
    OVERLAPPED overlapped = Overlapped();
    EXPECT_FALSE(WaitCommEvent(port, &events, &overlapped));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(CommServicesTest, TheEventCharacterRaisesItsFlag) {
    HANDLE port = OpenPort(false);
    DCB dcb{};
    ASSERT_TRUE(GetCommState(port, &dcb));
    dcb.EvtChar = '\n';
    ASSERT_TRUE(SetCommState(port, &dcb));
    ASSERT_TRUE(SetCommMask(port, EV_RXFLAG));
    line.Send("no flag");
    line.Send("flag\n");
    DWORD events = 0;
    ASSERT_TRUE(WaitCommEvent(port, &events, nullptr));
    EXPECT_EQ(events, EV_RXFLAG);
    COMSTAT status{};
    DWORD errors = 1;
    ASSERT_TRUE(ClearCommError(port, &errors, &status));
    EXPECT_EQ(errors, 0u);  // a pseudo-terminal keeps no error counters
    EXPECT_EQ(status.cbInQue, 12u);
}

TEST_F(CommServicesTest, TheOutputRunningEmptyIsAnEvent) {
    HANDLE port = OpenPort(true);
    ASSERT_TRUE(SetCommMask(port, EV_TXEMPTY));
    OVERLAPPED wait = Overlapped();
    DWORD events = 0;
    ASSERT_FALSE(WaitCommEvent(port, &events, &wait));
    OVERLAPPED write = Overlapped();
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(port, "abc", 3, &written, &write));
    EXPECT_EQ(written, 3u);
    ASSERT_EQ(WaitForSingleObject(wait.hEvent, 2000), WAIT_OBJECT_0);
    EXPECT_EQ(events, EV_TXEMPTY);
    EXPECT_EQ(line.Receive(3).size(), 3u);
}

TEST_F(CommServicesTest, CancelIoCancelsOnlyTheCallingThreadsOperations) {
    HANDLE port = OpenPort(true);
    const COMMTIMEOUTS blocking{};
    ASSERT_TRUE(SetCommTimeouts(port, &blocking));
    OVERLAPPED mine = Overlapped();
    OVERLAPPED theirs = Overlapped();
    std::uint8_t myBuffer[4];
    std::uint8_t theirBuffer[4];
    std::thread other([&] {
        EXPECT_FALSE(ReadFile(port, theirBuffer, 4, nullptr, &theirs));
        EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
    });
    other.join();
    EXPECT_FALSE(ReadFile(port, myBuffer, 4, nullptr, &mine));
    ASSERT_TRUE(CancelIo(port));

    DWORD count = 7;
    EXPECT_FALSE(GetOverlappedResult(port, &mine, &count, TRUE));
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(GetOverlappedResult(port, &theirs, &count, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);

    line.Send("1234");
    EXPECT_TRUE(GetOverlappedResult(port, &theirs, &count, TRUE));
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(std::memcmp(theirBuffer, "1234", 4), 0);
}

TEST_F(CommServicesTest, ClosingThePortEndsWhatIsPending) {
    HANDLE port = OpenPort(true);
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    OVERLAPPED wait = Overlapped();
    DWORD events = 0;
    ASSERT_FALSE(WaitCommEvent(port, &events, &wait));
    ASSERT_TRUE(CloseHandle(port));
    port_ = INVALID_HANDLE_VALUE;
    EXPECT_EQ(WaitForSingleObject(wait.hEvent, 2000), WAIT_OBJECT_0);
    EXPECT_EQ(std::atomic_ref<ULONG_PTR>(wait.Internal).load(), ERROR_OPERATION_ABORTED);
}

TEST_F(CommServicesTest, ALineThatGoesAwayFailsTheWaitInsteadOfSpinning) {
    testsupport::PseudoTerminal adapter;
    ASSERT_TRUE(adapter.IsOpen());
    adapter.ReleaseSlave();
    adapter.EnterAs(line.DeviceDir(), 2);
    port_ = CreateFileA("\\\\.\\COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(port_, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR));
    OVERLAPPED wait = Overlapped();
    DWORD events = 0;
    ASSERT_FALSE(WaitCommEvent(port_, &events, &wait));
    adapter.CloseMaster();  // the adapter is pulled out
    ASSERT_EQ(WaitForSingleObject(wait.hEvent, 2000), WAIT_OBJECT_0);
    DWORD ignored = 0;
    EXPECT_FALSE(GetOverlappedResult(port_, &wait, &ignored, FALSE));
    EXPECT_NE(GetLastError(), ERROR_SUCCESS);
    std::uint8_t buffer[4];
    EXPECT_FALSE(WriteFile(port_, buffer, 4, nullptr, nullptr));
}

// As a Win32 driver does, the port keeps what its last user set: the tty's
// own settings, whoever made them (a terminal program's flow control and
// line editing), and the rest of the line state and the time-outs.
TEST_F(CommServicesTest, APortKeepsItsStateFromOneUserToTheNext) {
    OpenPort(false);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(port_, &dcb));
    dcb.BaudRate = 19200;
    dcb.fAbortOnError = 1;
    dcb.fNull = 1;
    dcb.ErrorChar = '?';
    ASSERT_TRUE(SetCommState(port_, &dcb));
    const COMMTIMEOUTS set{7, 8, 9, 10, 11};
    ASSERT_TRUE(SetCommTimeouts(port_, &set));
    ASSERT_TRUE(CloseHandle(port_));
    termios terminal = line.LineSettings();
    terminal.c_iflag |= IXON | IXOFF | ICRNL;
    terminal.c_lflag |= ICANON | ECHO;
    terminal.c_cflag |= CRTSCTS;
    ASSERT_EQ(tcsetattr(line.MasterFd(), TCSANOW, &terminal), 0);

    OpenPort(false);
    DCB kept{};
    kept.DCBlength = sizeof kept;
    ASSERT_TRUE(GetCommState(port_, &kept));
    EXPECT_EQ(kept.BaudRate, 19200u);
    EXPECT_EQ(kept.fAbortOnError, 1u);
    EXPECT_EQ(kept.fNull, 1u);
    EXPECT_EQ(kept.ErrorChar, '?');
    EXPECT_EQ(kept.fOutX, 1u);
    EXPECT_EQ(kept.fInX, 1u);
    EXPECT_EQ(kept.fOutxCtsFlow, 1u);
    EXPECT_EQ(kept.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(kept.fBinary, 0u);  // the tty edits lines and maps CR
    COMMTIMEOUTS timeouts{};
    ASSERT_TRUE(GetCommTimeouts(port_, &timeouts));
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 11u);
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 7u);
    const termios untouched = line.LineSettings();
    EXPECT_NE(untouched.c_lflag & ICANON, 0u);

    // Binary mode and no flow control clear them again.
    kept.fBinary = 1;
    kept.fOutX = 0;
    kept.fInX = 0;
    kept.fOutxCtsFlow = 0;
    kept.fRtsControl = RTS_CONTROL_ENABLE;
    ASSERT_TRUE(SetCommState(port_, &kept));
    const termios raw = line.LineSettings();
    EXPECT_EQ(raw.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(raw.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(raw.c_cflag & CRTSCTS, 0u);
}

// What the driver was asked for: the descriptor, and whether it was a tty.
std::atomic<int> g_lowLatencyAsked{-1};
std::atomic<bool> g_lowLatencyOnTty{false};

bool RefuseLowLatency(int fd) {
    g_lowLatencyAsked = fd;
    g_lowLatencyOnTty = ::isatty(fd) == 1;
    return false;
}

TEST_F(CommServicesTest, OpeningAsksTheDriverForLowLatencyAndARefusalChangesNothing) {
    const LowLatencyRequester previous = ReplaceLowLatencyRequester(&RefuseLowLatency);
    g_lowLatencyAsked = -1;
    HANDLE port = OpenPort(false);
    ReplaceLowLatencyRequester(previous);
    EXPECT_GE(g_lowLatencyAsked.load(), 0);
    EXPECT_TRUE(g_lowLatencyOnTty.load());

    const char text[] = "still works";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port, text, sizeof text - 1, &written, nullptr));
    EXPECT_EQ(written, sizeof text - 1);
}

}  // namespace
