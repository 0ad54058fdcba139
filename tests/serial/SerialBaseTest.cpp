// The port on a real pseudo-terminal: open and close, line format, modes,
// getters, and the three ways a transfer runs (plain, caller OVERLAPPED,
// internal wait with a time-out).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "PtyLine.h"
#include "SerialBase.h"
#include "winapi_seams.h"

namespace {

using testsupport::PtyLine;

// Gives the tests a view of the remembered mask and the delivered events.
class TestPort : public CSerialBase {
public:
    DWORD RememberedMask() const { return eventMask.load(); }
    HANDLE Handle() const { return portHandle; }
};

class SerialBaseTest : public ::testing::Test {
protected:
    void SetUp() override { ResetSeams(); }
    void TearDown() override { ResetSeams(); }

    // Opens the line's port in the given mode; fails the test otherwise.
    void OpenPort(bool overlapped) {
        ASSERT_EQ(port.Open(line.PortName().c_str(), 0, 0, overlapped), 0);
    }

    // Waits (on a plain port, synchronously) until received bytes are in.
    void AwaitReceived(TestPort& plain) { ASSERT_EQ(plain.WaitForEvent(nullptr, INFINITE), 0); }

    PtyLine line;
    TestPort port;
};

TEST_F(SerialBaseTest, OpenOnAnOpenPortIsRefusedAndLeavesItAlone) {
    OpenPort(true);
    ASSERT_EQ(port.Configure(19200, 7, EVENPARITY, ONESTOPBIT), 0);
    HANDLE before = port.Handle();

    EXPECT_EQ(port.Open(line.PortName().c_str(), 0, 0, true), 1247);
    EXPECT_EQ(port.LastError(), 1247);
    EXPECT_EQ(port.Handle(), before);
    EXPECT_EQ(port.GetBaudRate(), 19200);
    EXPECT_EQ(port.GetByteSize(), 7);
    DWORD written = 0;
    EXPECT_EQ(port.WriteText("ok", &written, nullptr, INFINITE), 0);
    EXPECT_EQ(line.Receive(2), (std::vector<std::uint8_t>{'o', 'k'}));
}

TEST_F(SerialBaseTest, CloseOnAClosedPortSucceedsAndPortsReopen) {
    EXPECT_EQ(port.Close(), 0);
    OpenPort(true);
    EXPECT_EQ(port.Close(), 0);
    EXPECT_FALSE(port.IsOpen());
    OpenPort(false);
    EXPECT_TRUE(port.IsOpen());
}

TEST_F(SerialBaseTest, OpenSetsTheStartingMaskReadModeAndDefaultLine) {
    OpenPort(true);
    EXPECT_EQ(port.GetEventMask(), EV_RXCHAR | EV_BREAK | EV_ERR);
    EXPECT_EQ(port.GetBaudRate(), 9600);
    EXPECT_EQ(port.GetByteSize(), 8);
    EXPECT_EQ(port.GetParity(), NOPARITY);
    EXPECT_EQ(port.GetStopBits(), ONESTOPBIT);
    const termios settings = line.LineSettings();
    EXPECT_EQ(cfgetospeed(&settings), B9600);
}

// A terminal program used the port last: it left XON/XOFF and RTS/CTS flow
// control, echo, line editing and CR-to-NL mapping in the tty, and in the
// driver a stop on errors, null stripping, an error character, DTR off and
// a write time-out that would cut frames short.
TEST_F(SerialBaseTest, OpenSetsEveryFieldOfTheLineStateWhateverTheLastUserLeft) {
    HANDLE previous = CreateFileA(line.PortName().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(previous, INVALID_HANDLE_VALUE);
    DCB left{};
    left.DCBlength = sizeof left;
    ASSERT_TRUE(GetCommState(previous, &left));
    left.BaudRate = 115200;
    left.ByteSize = 7;
    left.Parity = ODDPARITY;
    left.fParity = 1;
    left.fOutX = 1;
    left.fInX = 1;
    left.fOutxCtsFlow = 1;
    left.fOutxDsrFlow = 1;
    left.fRtsControl = RTS_CONTROL_HANDSHAKE;
    left.fDtrControl = DTR_CONTROL_DISABLE;
    left.fDsrSensitivity = 1;
    left.fAbortOnError = 1;
    left.fNull = 1;
    left.fErrorChar = 1;
    left.ErrorChar = '?';
    left.EvtChar = '\n';
    ASSERT_TRUE(SetCommState(previous, &left));
    const COMMTIMEOUTS shortWrites{10, 10, 10, 0, 1};
    ASSERT_TRUE(SetCommTimeouts(previous, &shortWrites));
    ASSERT_TRUE(CloseHandle(previous));
    termios cooked = line.LineSettings();
    cooked.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    cooked.c_iflag |= ICRNL | IXON | IXOFF;
    cooked.c_oflag |= OPOST;
    ASSERT_EQ(tcsetattr(line.MasterFd(), TCSANOW, &cooked), 0);

    OpenPort(true);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(port.Handle(), &dcb));
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fParity, 0u);
    EXPECT_EQ(dcb.fOutX + dcb.fInX + dcb.fOutxCtsFlow + dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(dcb.fDsrSensitivity + dcb.fAbortOnError + dcb.fNull + dcb.fErrorChar, 0u);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_EQ(dcb.ErrorChar, 0);
    EXPECT_EQ(dcb.EvtChar, 0);
    COMMTIMEOUTS timeouts{};
    ASSERT_TRUE(GetCommTimeouts(port.Handle(), &timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);
    // Bounded, and long enough for a whole frame at the slowest rate.
    EXPECT_GE(timeouts.WriteTotalTimeoutMultiplier * 260 + timeouts.WriteTotalTimeoutConstant,
              260u * 12u * 1000u / 4800u);
    EXPECT_GT(timeouts.WriteTotalTimeoutConstant, 0u);

    const termios tty = line.LineSettings();
    EXPECT_EQ(tty.c_iflag & (IXON | IXOFF | ICRNL | INPCK), 0u);
    EXPECT_EQ(tty.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tty.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tty.c_oflag & OPOST, 0u);
    // And bytes that software flow control would eat pass both ways.
    DWORD written = 0;
    ASSERT_EQ(port.Write("\x11\x13\r", 3, &written, nullptr, 2000), 0);
    EXPECT_EQ(line.Receive(3), (std::vector<std::uint8_t>{0x11, 0x13, '\r'}));
    line.Send(std::string("\x13\x11\r"));
    std::uint8_t echoed[3] = {};
    DWORD count = 0;
    ASSERT_EQ(port.SetReadMode(CSerialBase::ReadBlocking), 0);
    ASSERT_EQ(port.Read(echoed, 3, &count, nullptr, 2000), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(echoed, echoed + count),
              (std::vector<std::uint8_t>{0x13, 0x11, '\r'}));
}

TEST_F(SerialBaseTest, APortInUseOrMissingCannotBeOpened) {
    OpenPort(true);
    TestPort second;
    EXPECT_EQ(second.Open(line.PortName().c_str(), 0, 0, true), 32);  // busy: held by the first object
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(second.Open("\\\\.\\COM42", 0, 0, true), 2);
    EXPECT_FALSE(second.IsOpen());
    port.Close();
    EXPECT_EQ(second.Open(line.PortName().c_str(), 0, 0, true), 0);
}

TEST_F(SerialBaseTest, QueueSizesReachTheDriverOnlyWhenOneIsNonZero) {
    OpenPort(true);
    port.Close();
    EXPECT_EQ(CallCount(SeamCall::SetupComm), 0);
    ASSERT_EQ(port.Open(line.PortName().c_str(), 16, 0, true), 0);
    EXPECT_EQ(CallCount(SeamCall::SetupComm), 1);
    ASSERT_EQ(port.SetReadMode(CSerialBase::ReadBlocking), 0);

    // A pending read larger than the queue still gets all it asked for.
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    std::uint8_t buffer[40];
    DWORD count = 0;
    ASSERT_EQ(port.Read(buffer, 40, &count, &overlapped, INFINITE), 0);
    line.Send(std::string(40, 'x'));
    ASSERT_EQ(WaitForSingleObject(event, 2000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetOverlappedResult(port.Handle(), &overlapped, &count, FALSE));
    EXPECT_EQ(count, 40u);
    CloseHandle(event);

    // With nobody reading, the queue keeps 16 and reports the overflow.
    ASSERT_EQ(port.SetEventMask(EV_ERR), 0);
    line.Send(std::string(40, 'y'));
    ASSERT_EQ(port.WaitForEvent(nullptr, 2000), 0);
    DWORD errors = 0;
    COMSTAT status{};
    ASSERT_TRUE(ClearCommError(port.Handle(), &errors, &status));
    EXPECT_EQ(errors, CE_RXOVER);
    EXPECT_EQ(status.cbInQue, 16u);
}

TEST_F(SerialBaseTest, FailedOpenStepsLeaveThePortClosedAndRetryable) {
    for (const SeamCall step : {SeamCall::CreateFile, SeamCall::CreateEvent, SeamCall::SetupComm}) {
        FailNextCalls(step, 31);
        EXPECT_EQ(port.Open(line.PortName().c_str(), 64, 64, true), 31);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.Open(line.PortName().c_str(), 64, 64, true), 0);
        port.Close();
    }
}

TEST_F(SerialBaseTest, AFailedReadModeIsTheResultWithThePortOpen) {
    FailNextCalls(SeamCall::SetCommTimeouts, 31);
    EXPECT_EQ(port.Open(line.PortName().c_str(), 0, 0, true), 31);
    EXPECT_TRUE(port.IsOpen());
    FailNextCalls(SeamCall::SetCommMask, 31);  // a failed mask alone does not fail it
    port.Close();
    EXPECT_EQ(port.Open(line.PortName().c_str(), 0, 0, true), 0);
}

struct RateCase {
    DWORD rate;
    speed_t speed;
};

class SerialRateTest : public SerialBaseTest, public ::testing::WithParamInterface<RateCase> {};

TEST_P(SerialRateTest, ConfigureSetsTheLineRate) {
    OpenPort(true);
    ASSERT_EQ(port.Configure(GetParam().rate, 8, NOPARITY, ONESTOPBIT), 0);
    const termios settings = line.LineSettings();
    EXPECT_EQ(cfgetospeed(&settings), GetParam().speed);
    EXPECT_EQ(cfgetispeed(&settings), GetParam().speed);
    EXPECT_EQ(port.GetBaudRate(), static_cast<LONG>(GetParam().rate));
}

// Every rate of the instrument search, and the bootloader's.
INSTANTIATE_TEST_SUITE_P(SearchRates, SerialRateTest,
                         ::testing::Values(RateCase{4800, B4800}, RateCase{9600, B9600},
                                           RateCase{19200, B19200}, RateCase{38400, B38400},
                                           RateCase{57600, B57600}, RateCase{115200, B115200}));

struct FormatCase {
    BYTE byteSize;
    BYTE parity;
    BYTE stopBits;
    tcflag_t cflags;  // what the line shows under PARODD|CMSPAR|CSTOPB
    bool checked;     // INPCK
};

class SerialFormatTest : public SerialBaseTest, public ::testing::WithParamInterface<FormatCase> {};

// A pseudo-terminal always reports 8 bits without PARENB whatever it is
// given; the rest of the format shows on the master. (The size and PARENB
// mapping is covered in the winapi tests.)
TEST_P(SerialFormatTest, ConfigureSetsTheCharacterFormat) {
    const FormatCase& c = GetParam();
    OpenPort(true);
    ASSERT_EQ(port.Configure(4800, c.byteSize, c.parity, c.stopBits), 0);
    const termios settings = line.LineSettings();
    EXPECT_EQ(settings.c_cflag & (PARODD | CMSPAR | CSTOPB), c.cflags);
    EXPECT_EQ((settings.c_iflag & INPCK) != 0, c.checked);
    EXPECT_EQ(port.GetByteSize(), c.byteSize);
    EXPECT_EQ(port.GetParity(), c.parity);
    EXPECT_EQ(port.GetStopBits(), c.stopBits);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SerialFormatTest,
    ::testing::Values(FormatCase{8, NOPARITY, ONESTOPBIT, 0, false},
                      FormatCase{8, ODDPARITY, ONESTOPBIT, PARODD, true},
                      FormatCase{8, EVENPARITY, ONESTOPBIT, 0, true},
                      FormatCase{7, MARKPARITY, ONESTOPBIT, PARODD | CMSPAR, true},
                      FormatCase{6, SPACEPARITY, TWOSTOPBITS, CMSPAR | CSTOPB, true},
                      FormatCase{5, NOPARITY, ONE5STOPBITS, CSTOPB, false}));

TEST_F(SerialBaseTest, FormatsTheLineCannotCarryAreRefusedAndChangeNothing) {
    OpenPort(true);
    ASSERT_EQ(port.Configure(4800, 8, NOPARITY, ONESTOPBIT), 0);
    const struct {
        DWORD rate;
        BYTE byteSize, parity, stopBits;
    } refused[] = {{4801, 8, 0, 0}, {4800, 9, 0, 0}, {4800, 4, 0, 0},
                   {4800, 8, 5, 0}, {4800, 8, 0, 3}, {4800, 8, 0, ONE5STOPBITS}};
    for (const auto& r : refused) {
        EXPECT_EQ(port.Configure(r.rate, r.byteSize, r.parity, r.stopBits), 87);
        EXPECT_EQ(port.GetBaudRate(), 4800);
        EXPECT_EQ(port.GetByteSize(), 8);
    }
}

TEST_F(SerialBaseTest, ParityIsReportedOnlyWhileItIsChecked) {
    OpenPort(true);
    ASSERT_EQ(port.Configure(4800, 8, EVENPARITY, ONESTOPBIT), 0);
    HANDLE handle = port.Handle();
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(handle, &dcb));
    EXPECT_EQ(dcb.fParity, 1u);
    dcb.fParity = 0;
    ASSERT_TRUE(SetCommState(handle, &dcb));
    EXPECT_EQ(port.GetParity(), NOPARITY);
    ASSERT_EQ(port.Configure(4800, 8, NOPARITY, ONESTOPBIT), 0);
    ASSERT_TRUE(GetCommState(handle, &dcb));
    EXPECT_EQ(dcb.fParity, 0u);
}

TEST_F(SerialBaseTest, FlowControlModesReachTheLine) {
    OpenPort(true);
    ASSERT_EQ(port.SetFlowControl(CSerialBase::FlowHardware), 0);
    EXPECT_EQ(port.GetFlowControl(), CSerialBase::FlowHardware);
    EXPECT_NE(line.LineSettings().c_cflag & CRTSCTS, 0u);

    ASSERT_EQ(port.SetFlowControl(CSerialBase::FlowSoftware), 0);
    EXPECT_EQ(port.GetFlowControl(), CSerialBase::FlowSoftware);
    EXPECT_EQ(line.LineSettings().c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(line.LineSettings().c_iflag & (IXON | IXOFF), tcflag_t{IXON | IXOFF});

    ASSERT_EQ(port.SetFlowControl(CSerialBase::FlowNone), 0);
    EXPECT_EQ(port.GetFlowControl(), CSerialBase::FlowNone);
    EXPECT_EQ(line.LineSettings().c_iflag & (IXON | IXOFF), 0u);
}

TEST_F(SerialBaseTest, HardwareFlowIsJudgedByTheHandshakeLinesAlone) {
    OpenPort(true);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(port.Handle(), &dcb));
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    ASSERT_TRUE(SetCommState(port.Handle(), &dcb));
    EXPECT_EQ(port.GetFlowControl(), CSerialBase::FlowHardware);
}

TEST_F(SerialBaseTest, ModesOutsideTheDefinedOnesAreRefusedAndChangeNothing) {
    EXPECT_EQ(port.SetFlowControl(3), 6);
    EXPECT_EQ(port.SetReadMode(2), 6);
    OpenPort(true);
    ASSERT_EQ(port.SetFlowControl(CSerialBase::FlowSoftware), 0);
    EXPECT_EQ(port.SetFlowControl(3), E_INVALIDARG);
    EXPECT_EQ(port.LastError(), E_INVALIDARG);
    EXPECT_EQ(port.GetFlowControl(), CSerialBase::FlowSoftware);
    EXPECT_EQ(port.SetReadMode(2), E_INVALIDARG);
    EXPECT_EQ(port.SetFlowControl(-1), E_INVALIDARG);
    // Still non-blocking: a read of an empty line returns at once.
    std::uint8_t buffer[8];
    DWORD count = 99;
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &count, nullptr, INFINITE), 0);
    EXPECT_EQ(count, 0u);
}

TEST_F(SerialBaseTest, GettersOnAClosedPortGiveTheirFailureValues) {
    const std::pair<std::function<LONG()>, LONG> getters[] = {
        {[this] { return port.GetBaudRate(); }, -1},
        {[this] { return port.GetByteSize(); }, -1},
        {[this] { return port.GetParity(); }, -1},
        {[this] { return port.GetStopBits(); }, -1},
        {[this] { return port.GetFlowControl(); }, -1},
        {[this] { return static_cast<LONG>(port.GetEventMask()); }, 0},
        {[this] { return static_cast<LONG>(port.GetEvtChar()); }, 0},
    };
    for (const auto& [getter, failure] : getters) {
        EXPECT_EQ(getter(), failure);
        EXPECT_EQ(port.LastError(), 6);
    }
}

TEST_F(SerialBaseTest, OperationsOnAClosedPortGiveInvalidHandle) {
    std::uint8_t buffer[4] = {};
    DWORD count = 7;
    EXPECT_EQ(port.Read(buffer, 4, &count, nullptr, INFINITE), 6);
    EXPECT_EQ(count, 0u);
    count = 7;
    EXPECT_EQ(port.Write(buffer, 4, &count, nullptr, INFINITE), 6);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(port.WaitForEvent(nullptr, INFINITE), 6);
    EXPECT_EQ(port.Configure(4800, 8, 0, 0), 6);
    EXPECT_EQ(port.SetEventMask(EV_RXCHAR), 6);
    EXPECT_EQ(port.SetEvtChar('x', true), 6);
    EXPECT_EQ(port.ReadDirect(buffer, 4, nullptr, nullptr, INFINITE), 6);
}

TEST_F(SerialBaseTest, EventCharacterAddsTheFlagEventToBothMasks) {
    OpenPort(true);
    ASSERT_EQ(port.SetEvtChar('\n', true), 0);
    EXPECT_EQ(port.GetEvtChar(), '\n');
    EXPECT_EQ(port.GetEventMask(), EV_RXCHAR | EV_BREAK | EV_ERR | EV_RXFLAG);
    DWORD systemMask = 0;
    ASSERT_TRUE(GetCommMask(port.Handle(), &systemMask));
    EXPECT_EQ(systemMask, port.RememberedMask());
}

TEST_F(SerialBaseTest, AFailedMaskLeavesTheRememberedOne) {
    OpenPort(true);
    FailNextCalls(SeamCall::SetCommMask, 31);
    EXPECT_EQ(port.SetEventMask(EV_TXEMPTY), 31);
    EXPECT_EQ(port.GetEventMask(), EV_RXCHAR | EV_BREAK | EV_ERR);
    // SetEvtChar writes the state but reports the failed mask update.
    FailNextCalls(SeamCall::SetCommMask, 31);
    EXPECT_EQ(port.SetEvtChar('#', true), 31);
    EXPECT_EQ(port.GetEvtChar(), '#');
}

TEST_F(SerialBaseTest, NonBlockingReadTakesOnlyWhatHasArrived) {
    OpenPort(false);
    std::uint8_t buffer[299];
    DWORD count = 5;
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &count, nullptr, INFINITE), 0);
    EXPECT_EQ(count, 0u);
    line.Send("abc");
    AwaitReceived(port);
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &count, nullptr, INFINITE), 0);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(std::memcmp(buffer, "abc", 3), 0);
}

TEST_F(SerialBaseTest, ReadArrivedNeverWaitsForMoreThanHasArrived) {
    // In the blocking mode a read of more than is queued would wait, as
    // some drivers do even in the non-blocking one.
    OpenPort(true);
    ASSERT_EQ(port.SetReadMode(CSerialBase::ReadBlocking), 0);
    std::uint8_t buffer[299];
    DWORD count = 5;
    EXPECT_EQ(port.ReadArrived(buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(count, 0u);
    line.Send("abcdef");
    AwaitReceived(port);
    EXPECT_EQ(port.ReadArrived(buffer, 4, &count), 0);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(port.ReadArrived(buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(std::memcmp(buffer, "ef", 2), 0);
    port.Close();
    EXPECT_EQ(port.ReadArrived(buffer, sizeof buffer, &count), 6);
    EXPECT_EQ(count, 0u);
}

TEST_F(SerialBaseTest, APlainPortRefusesTimeOutsAndCallerOverlapped) {
    OpenPort(false);
    std::uint8_t buffer[8] = {'x'};
    DWORD count = 3;
    OVERLAPPED overlapped{};
    EXPECT_EQ(port.Write(buffer, 1, &count, nullptr, 100), 1);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(port.Read(buffer, 8, &count, nullptr, 100), 1);
    EXPECT_EQ(port.WaitForEvent(nullptr, 100), 1);
    EXPECT_EQ(port.Write(buffer, 1, &count, &overlapped, INFINITE), 1);
    EXPECT_EQ(port.Read(buffer, 8, &count, &overlapped, INFINITE), 1);
    EXPECT_EQ(port.WaitForEvent(&overlapped, INFINITE), 1);
    EXPECT_TRUE(line.Quiet(50));
    // Without either, it works synchronously.
    EXPECT_EQ(port.WriteText("abc", &count, nullptr, INFINITE), 0);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(line.Receive(3), (std::vector<std::uint8_t>{'a', 'b', 'c'}));
}

TEST_F(SerialBaseTest, TransfersAcceptAMissingCount) {
    OpenPort(true);
    EXPECT_EQ(port.Write("hi", 2, nullptr, nullptr, INFINITE), 0);
    EXPECT_EQ(line.Receive(2).size(), 2u);
    std::uint8_t buffer[4];
    EXPECT_EQ(port.Read(buffer, 4, nullptr, nullptr, INFINITE), 0);
}

TEST_F(SerialBaseTest, ACallerOverlappedReturnsAtOnceWhilePending) {
    OpenPort(true);
    ASSERT_EQ(port.SetReadMode(CSerialBase::ReadBlocking), 0);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    std::uint8_t buffer[4] = {};
    DWORD count = 0;
    EXPECT_EQ(port.Read(buffer, 4, &count, &overlapped, 10), 0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    line.Send("wxyz");
    ASSERT_EQ(WaitForSingleObject(event, 2000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetOverlappedResult(port.Handle(), &overlapped, &count, FALSE));
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(std::memcmp(buffer, "wxyz", 4), 0);
    CloseHandle(event);
}

TEST_F(SerialBaseTest, AnInternalWaitThatRunsOutCancelsOnlyThatRead) {
    OpenPort(true);
    ASSERT_EQ(port.SetReadMode(CSerialBase::ReadBlocking), 0);
    // Another thread's wait on the same port must live through the time-out.
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED waiting{};
    waiting.hEvent = event;
    DWORD events = 0;
    std::thread listener([&] {
        EXPECT_FALSE(WaitCommEvent(port.Handle(), &events, &waiting));
        EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
    });
    listener.join();

    std::uint8_t buffer[4] = {};
    DWORD count = 9;
    EXPECT_EQ(port.Read(buffer, 4, &count, nullptr, 30), 1460);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);

    // Nothing the cancelled read would have taken is lost.
    line.Send("abcd");
    ASSERT_EQ(WaitForSingleObject(event, 2000), WAIT_OBJECT_0);
    EXPECT_EQ(std::atomic_ref<DWORD>(events).load(), EV_RXCHAR);
    EXPECT_EQ(port.Read(buffer, 4, &count, nullptr, 2000), 0);
    EXPECT_EQ(count, 4u);
    CloseHandle(event);
}

TEST_F(SerialBaseTest, ReadDirectReadsOnEitherKindOfPort) {
    for (const bool overlapped : {false, true}) {
        OpenPort(overlapped);
        line.Send("q");
        ASSERT_EQ(port.SetReadMode(CSerialBase::ReadBlocking), 0);
        std::uint8_t buffer[1] = {};
        DWORD count = 0;
        EXPECT_EQ(port.ReadDirect(buffer, 1, &count, nullptr, 5), 0);
        EXPECT_EQ(count, 1u);
        EXPECT_EQ(buffer[0], 'q');
        port.Close();
    }
}

TEST_F(SerialBaseTest, DestroyingAnOpenPortReleasesIt) {
    {
        TestPort temporary;
        ASSERT_EQ(temporary.Open(line.PortName().c_str(), 0, 0, true), 0);
    }
    OpenPort(true);
}

}  // namespace
