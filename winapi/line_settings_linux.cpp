#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

#include "line_settings.h"
#include "winapi_errors.h"

namespace {

struct RateSpeed {
    DWORD bitsPerSecond;
    speed_t speed;
};

// Every rate of the instrument search (4800..115200) and the bootloader's
// 38400, with the usual neighbours.
constexpr RateSpeed kRates[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

constexpr tcflag_t kSizeFlags[] = {CS5, CS6, CS7, CS8};  // ByteSize 5..8
constexpr BYTE kSmallestByteSize = 5;
constexpr BYTE kLargestByteSize = 8;

constexpr WORD kDefaultXonLimit = 2048;  // bytes free before XON is sent
constexpr WORD kDefaultXoffLimit = 512;  // bytes free when XOFF is sent
constexpr CHAR kXon = 0x11;
constexpr CHAR kXoff = 0x13;
constexpr DWORD kDefaultRate = 9600;

bool SpeedOf(DWORD bitsPerSecond, speed_t& speed) {
    for (const RateSpeed& rate : kRates) {
        if (rate.bitsPerSecond == bitsPerSecond) {
            speed = rate.speed;
            return true;
        }
    }
    return false;
}

DWORD RateOf(speed_t speed) {
    for (const RateSpeed& rate : kRates) {
        if (rate.speed == speed) {
            return rate.bitsPerSecond;
        }
    }
    return 0;
}

bool StopBitsFit(BYTE stopBits, BYTE byteSize) {
    switch (stopBits) {
        case ONESTOPBIT:
            return true;
        case ONE5STOPBITS:
            return byteSize == kSmallestByteSize;
        case TWOSTOPBITS:
            return byteSize > kSmallestByteSize;
        default:
            return false;
    }
}

tcflag_t ParityFlags(BYTE parity) {
    switch (parity) {
        case ODDPARITY:
            return PARENB | PARODD;
        case EVENPARITY:
            return PARENB;
        case MARKPARITY:
            return PARENB | CMSPAR | PARODD;
        case SPACEPARITY:
            return PARENB | CMSPAR;
        default:
            return 0;
    }
}

BYTE ParityOf(tcflag_t cflag) {
    if ((cflag & PARENB) == 0) {
        return NOPARITY;
    }
    const bool odd = (cflag & PARODD) != 0;
    if ((cflag & CMSPAR) != 0) {
        return odd ? MARKPARITY : SPACEPARITY;
    }
    return odd ? ODDPARITY : EVENPARITY;
}

BYTE ByteSizeOf(tcflag_t cflag) {
    const tcflag_t size = cflag & CSIZE;
    for (BYTE byteSize = kSmallestByteSize; byteSize < kLargestByteSize; ++byteSize) {
        if (kSizeFlags[byteSize - kSmallestByteSize] == size) {
            return byteSize;
        }
    }
    return kLargestByteSize;
}

void SetFlag(tcflag_t& flags, tcflag_t flag, bool on) {
    flags = on ? (flags | flag) : (flags & ~flag);
}

// ioctl on the modem bits; a tty without modem lines is not an error.
DWORD ChangeModemBit(int fd, bool raise, int bit) {
    if (ioctl(fd, raise ? TIOCMBIS : TIOCMBIC, &bit) == 0 || errno == ENOTTY || errno == EINVAL) {
        return ERROR_SUCCESS;
    }
    return Win32ErrorFromErrno(errno);
}

}  // namespace

DWORD ApplyDcbToTermios(const DCB& dcb, termios& tty) {
    speed_t speed = B0;
    if (!SpeedOf(dcb.BaudRate, speed) || dcb.ByteSize < kSmallestByteSize ||
        dcb.ByteSize > kLargestByteSize || dcb.Parity > SPACEPARITY ||
        !StopBitsFit(dcb.StopBits, dcb.ByteSize) ||
        ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar)) {
        return ERROR_INVALID_PARAMETER;
    }
    termios next = tty;
    cfsetispeed(&next, speed);
    cfsetospeed(&next, speed);
    next.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    next.c_cflag |= kSizeFlags[dcb.ByteSize - kSmallestByteSize] | ParityFlags(dcb.Parity);
    SetFlag(next.c_cflag, CSTOPB, dcb.StopBits != ONESTOPBIT);
    SetFlag(next.c_cflag, CRTSCTS,
            dcb.fOutxCtsFlow != 0 || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE);
    SetFlag(next.c_iflag, INPCK, dcb.fParity != 0);
    SetFlag(next.c_iflag, IXON, dcb.fOutX != 0);
    SetFlag(next.c_iflag, IXOFF, dcb.fInX != 0);
    next.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    next.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    if (dcb.fBinary != 0) {
        MakeRaw(next);
    }
    tty = next;
    return ERROR_SUCCESS;
}

DCB DcbFromTermios(const termios& tty, const DCB& unrecorded) {
    DCB dcb = unrecorded;
    dcb.DCBlength = sizeof dcb;
    dcb.fBinary = PassesBytesAsTheyAre(tty) ? 1 : 0;
    if (const DWORD rate = RateOf(cfgetospeed(&tty)); rate != 0) {
        dcb.BaudRate = rate;
    }
    dcb.fParity = (tty.c_iflag & INPCK) != 0 ? 1 : 0;
    const bool handshake = (tty.c_cflag & CRTSCTS) != 0;
    dcb.fOutxCtsFlow = handshake ? 1 : 0;
    if (handshake) {
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    } else if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
    }
    dcb.fOutX = (tty.c_iflag & IXON) != 0 ? 1 : 0;
    dcb.fInX = (tty.c_iflag & IXOFF) != 0 ? 1 : 0;
    dcb.ByteSize = ByteSizeOf(tty.c_cflag);
    dcb.Parity = ParityOf(tty.c_cflag);
    if ((tty.c_cflag & CSTOPB) == 0) {
        dcb.StopBits = ONESTOPBIT;
    } else {
        dcb.StopBits = dcb.ByteSize == kSmallestByteSize ? ONE5STOPBITS : TWOSTOPBITS;
    }
    dcb.XonChar = static_cast<CHAR>(tty.c_cc[VSTART]);
    dcb.XoffChar = static_cast<CHAR>(tty.c_cc[VSTOP]);
    return dcb;
}

bool PassesBytesAsTheyAre(const termios& tty) {
    return (tty.c_iflag & (ISTRIP | INLCR | IGNCR | ICRNL | IXANY | IUCLC | PARMRK)) == 0 &&
           (tty.c_oflag & OPOST) == 0 &&
           (tty.c_lflag & (ECHO | ECHONL | ICANON | ISIG | IEXTEN)) == 0;
}

void MakeRaw(termios& tty) {
    tty.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXANY | IMAXBEL |
                     IUCLC | IGNPAR);
    tty.c_oflag &= ~OPOST;
    tty.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    tty.c_cflag |= CREAD | CLOCAL;
    tty.c_cflag &= ~HUPCL;
    tty.c_cc[VMIN] = 1;
    tty.c_cc[VTIME] = 0;
}

DWORD ApplyModemLines(int fd, const DCB& dcb) {
    const DWORD dtr = ChangeModemBit(fd, dcb.fDtrControl != DTR_CONTROL_DISABLE, TIOCM_DTR);
    if (dtr != ERROR_SUCCESS) {
        return dtr;
    }
    if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
        return ERROR_SUCCESS;  // the driver drives RTS itself
    }
    return ChangeModemBit(fd, dcb.fRtsControl != RTS_CONTROL_DISABLE, TIOCM_RTS);
}

DCB DefaultDcb() {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = kDefaultRate;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fTXContinueOnXoff = 1;
    dcb.XonLim = kDefaultXonLimit;
    dcb.XoffLim = kDefaultXoffLimit;
    dcb.ByteSize = kLargestByteSize;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = kXon;
    dcb.XoffChar = kXoff;
    return dcb;
}
