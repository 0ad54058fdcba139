// The DCB and the tty's termios: what each format and flow setting becomes,
// and what the line cannot carry.
#include <gtest/gtest.h>

#include <cstring>

#include "line_settings.h"
#include "winapi_errors.h"

namespace {

termios RawTty() {
    termios tty{};
    cfmakeraw(&tty);
    return tty;
}

struct FormatCase {
    BYTE byteSize;
    BYTE parity;
    BYTE stopBits;
    tcflag_t cflags;  // under CSIZE | PARENB | PARODD | CMSPAR | CSTOPB
};

class FormatMappingTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatMappingTest, FormatBecomesTermiosAndComesBack) {
    const FormatCase& c = GetParam();
    DCB dcb = DefaultDcb();
    dcb.ByteSize = c.byteSize;
    dcb.Parity = c.parity;
    dcb.StopBits = c.stopBits;
    termios tty = RawTty();
    ASSERT_EQ(ApplyDcbToTermios(dcb, tty), ERROR_SUCCESS);
    EXPECT_EQ(tty.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB), c.cflags);
    const DCB back = DcbFromTermios(tty, DefaultDcb());
    EXPECT_EQ(back.ByteSize, c.byteSize);
    EXPECT_EQ(back.Parity, c.parity);
    EXPECT_EQ(back.StopBits, c.stopBits);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FormatMappingTest,
    ::testing::Values(FormatCase{8, NOPARITY, ONESTOPBIT, CS8},
                      FormatCase{8, ODDPARITY, ONESTOPBIT, CS8 | PARENB | PARODD},
                      FormatCase{8, EVENPARITY, TWOSTOPBITS, CS8 | PARENB | CSTOPB},
                      FormatCase{7, MARKPARITY, ONESTOPBIT, CS7 | PARENB | PARODD | CMSPAR},
                      FormatCase{6, SPACEPARITY, ONESTOPBIT, CS6 | PARENB | CMSPAR},
                      FormatCase{5, EVENPARITY, ONE5STOPBITS, CS5 | PARENB | CSTOPB}));

TEST(LineSettingsTest, EveryRateOfTheSearchIsCarried) {
    for (const DWORD rate : {4800u, 9600u, 19200u, 38400u, 57600u, 115200u}) {
        DCB dcb = DefaultDcb();
        dcb.BaudRate = rate;
        termios tty = RawTty();
        ASSERT_EQ(ApplyDcbToTermios(dcb, tty), ERROR_SUCCESS) << rate;
        EXPECT_EQ(DcbFromTermios(tty, DefaultDcb()).BaudRate, rate);
        EXPECT_EQ(cfgetispeed(&tty), cfgetospeed(&tty));
    }
}

TEST(LineSettingsTest, WhatTheLineCannotCarryIsRefusedAndLeavesTheTty) {
    const auto refuse = [](auto change) {
        DCB dcb = DefaultDcb();
        change(dcb);
        termios tty = RawTty();
        const termios before = tty;
        EXPECT_EQ(ApplyDcbToTermios(dcb, tty), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(std::memcmp(&tty, &before, sizeof tty), 0);
    };
    refuse([](DCB& d) { d.BaudRate = 12345; });
    refuse([](DCB& d) { d.ByteSize = 4; });
    refuse([](DCB& d) { d.ByteSize = 9; });
    refuse([](DCB& d) { d.Parity = 5; });
    refuse([](DCB& d) { d.StopBits = 3; });
    refuse([](DCB& d) { d.StopBits = ONE5STOPBITS; });  // 1.5 needs 5 data bits
    refuse([](DCB& d) {
        d.ByteSize = 5;
        d.StopBits = TWOSTOPBITS;  // and 5 data bits have 1.5 at most
    });
    refuse([](DCB& d) {
        d.fOutX = 1;
        d.XonChar = d.XoffChar;
    });
}

TEST(LineSettingsTest, FlowControlAndParityCheckingReachTheTty) {
    DCB dcb = DefaultDcb();
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fInX = 1;
    dcb.fParity = 1;
    termios tty = RawTty();
    ASSERT_EQ(ApplyDcbToTermios(dcb, tty), ERROR_SUCCESS);
    EXPECT_NE(tty.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tty.c_iflag & (IXON | IXOFF | INPCK), tcflag_t{IXOFF | INPCK});
    EXPECT_EQ(tty.c_cc[VSTART], 0x11);
    EXPECT_EQ(tty.c_cc[VSTOP], 0x13);

    dcb = DefaultDcb();
    dcb.fOutxCtsFlow = 1;  // CTS output flow alone also needs the one switch
    ASSERT_EQ(ApplyDcbToTermios(dcb, tty), ERROR_SUCCESS);
    EXPECT_NE(tty.c_cflag & CRTSCTS, 0u);
    dcb.fOutxCtsFlow = 0;
    ASSERT_EQ(ApplyDcbToTermios(dcb, tty), ERROR_SUCCESS);
    EXPECT_EQ(tty.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tty.c_iflag & (IXON | IXOFF | INPCK), 0u);
}

TEST(LineSettingsTest, RawModePassesEveryByteAsItIs) {
    termios tty{};
    tty.c_iflag = ICRNL | IXANY | ISTRIP | BRKINT | PARMRK;
    tty.c_oflag = OPOST;
    tty.c_lflag = ECHO | ICANON | ISIG | IEXTEN;
    MakeRaw(tty);
    EXPECT_EQ(tty.c_iflag & (ICRNL | IXANY | ISTRIP | BRKINT | PARMRK), 0u);
    EXPECT_EQ(tty.c_oflag & OPOST, 0u);
    EXPECT_EQ(tty.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tty.c_cflag & (CREAD | CLOCAL), tcflag_t{CREAD | CLOCAL});
}

}  // namespace
