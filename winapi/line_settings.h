// The DCB as the Linux tty layer holds it: rate, character format, parity
// checking and flow control live in termios; the modem lines DTR and RTS in
// the tty's modem bits.
//
// What Linux cannot express: 1.5 stop bits exist only with 5 data bits,
// where the UART's second stop bit is one and a half bit times long (so
// ONE5STOPBITS needs ByteSize 5 and TWOSTOPBITS needs 6..8, as on a Win32
// UART); CTS and RTS handshake are one switch (CRTSCTS) for both directions;
// DSR output flow control and DTR handshake have no counterpart, so DTR is
// simply raised for DTR_CONTROL_HANDSHAKE and RTS for RTS_CONTROL_TOGGLE.
#pragma once

#include <termios.h>

#include "winapi_comm.h"

// Writes the termios fields that `dcb` decides into `tty`, leaving others.
// fBinary strips every line-discipline service (MakeRaw); without it the
// byte processing stays as it is. ERROR_INVALID_PARAMETER (and `tty`
// untouched) for a rate, size, parity or stop-bit setting the line cannot
// take.
DWORD ApplyDcbToTermios(const DCB& dcb, termios& tty);

// The DCB that describes `tty`, for a port that was just opened: what
// termios records comes from `tty` (fBinary is set only when the tty passes
// bytes as they are), the rest from `unrecorded`.
DCB DcbFromTermios(const termios& tty, const DCB& unrecorded);

// True when the tty neither changes, drops, echoes nor holds back a byte.
bool PassesBytesAsTheyAre(const termios& tty);

// A tty stripped of every line-discipline service (echo, signals, newline
// and case mapping): the bytes pass as they are, as on a Win32 COM port.
void MakeRaw(termios& tty);

// Raises or drops DTR and RTS as the DCB's line controls say. A tty without
// modem lines (a pseudo-terminal) is left as it is.
DWORD ApplyModemLines(int fd, const DCB& dcb);

// The line state of a port no one has set yet: 9600 bits/s, 8N1, no flow
// control, DTR and RTS on.
DCB DefaultDcb();
