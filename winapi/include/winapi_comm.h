// The Win32 communications services on Linux: opening a COM port by its
// device name, its line state (DCB), time-outs, event mask, reads, writes and
// overlapped completion. Every function reports failure the Win32 way (FALSE
// or INVALID_HANDLE_VALUE) and leaves the Win32 code in GetLastError.
//
// A port handle owns a driver thread of its own that moves bytes between the
// tty and the port's input queue, so that port events (EV_ bits) are seen when
// they happen and overlapped operations complete without the caller polling.
#pragma once

#include "winapi_types.h"

// --- CreateFileA ---
inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

struct SECURITY_ATTRIBUTES;  // never given on this platform; must be null
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// --- DCB encodings ---
inline constexpr BYTE NOPARITY = 0;
inline constexpr BYTE ODDPARITY = 1;
inline constexpr BYTE EVENPARITY = 2;
inline constexpr BYTE MARKPARITY = 3;
inline constexpr BYTE SPACEPARITY = 4;

inline constexpr BYTE ONESTOPBIT = 0;
inline constexpr BYTE ONE5STOPBITS = 1;  // only with 5 data bits, as a UART sends it
inline constexpr BYTE TWOSTOPBITS = 2;

inline constexpr DWORD DTR_CONTROL_DISABLE = 0;
inline constexpr DWORD DTR_CONTROL_ENABLE = 1;
inline constexpr DWORD DTR_CONTROL_HANDSHAKE = 2;
inline constexpr DWORD RTS_CONTROL_DISABLE = 0;
inline constexpr DWORD RTS_CONTROL_ENABLE = 1;
inline constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;
inline constexpr DWORD RTS_CONTROL_TOGGLE = 3;

// The line state of a port. Field order and widths follow Win32.
struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;  // bits per second
    DWORD fBinary : 1;
    DWORD fParity : 1;  // check parity of received characters
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;  // 5..8
    BYTE Parity;    // NOPARITY..SPACEPARITY
    BYTE StopBits;  // ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS
    CHAR XonChar;
    CHAR XoffChar;
    CHAR ErrorChar;
    CHAR EofChar;
    CHAR EvtChar;  // receiving it raises EV_RXFLAG
    WORD wReserved1;
};

// Read and write time-outs, all in milliseconds.
struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;  // longest gap between two received bytes
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};

struct COMSTAT {
    DWORD fCtsHold : 1;
    DWORD fDsrHold : 1;
    DWORD fRlsdHold : 1;
    DWORD fXoffHold : 1;
    DWORD fXoffSent : 1;
    DWORD fEof : 1;
    DWORD fTxim : 1;
    DWORD fReserved : 25;
    DWORD cbInQue;   // bytes received and not yet read
    DWORD cbOutQue;  // bytes written and not yet sent
};

// The completion record of an overlapped operation. The caller owns it and
// its event and keeps both alive until the operation has completed.
struct OVERLAPPED {
    ULONG_PTR Internal;      // completion status; pending while it is 0x103
    ULONG_PTR InternalHigh;  // bytes transferred
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;  // reset when the operation starts, set when it completes
};
using LPOVERLAPPED = OVERLAPPED*;

// --- Port events (SetCommMask, WaitCommEvent) ---
inline constexpr DWORD EV_RXCHAR = 0x0001;   // a character was received
inline constexpr DWORD EV_RXFLAG = 0x0002;   // the DCB's EvtChar was received
inline constexpr DWORD EV_TXEMPTY = 0x0004;  // the last written character left the port
inline constexpr DWORD EV_CTS = 0x0008;      // accepted in masks; not raised on Linux
inline constexpr DWORD EV_DSR = 0x0010;      // accepted in masks; not raised on Linux
inline constexpr DWORD EV_RLSD = 0x0020;     // accepted in masks; not raised on Linux
inline constexpr DWORD EV_BREAK = 0x0040;    // a break was received
inline constexpr DWORD EV_ERR = 0x0080;      // a framing, overrun or parity error
inline constexpr DWORD EV_RING = 0x0100;     // accepted in masks; not raised on Linux

// --- Line errors (ClearCommError) ---
inline constexpr DWORD CE_RXOVER = 0x0001;    // the input buffer overflowed
inline constexpr DWORD CE_OVERRUN = 0x0002;   // the UART lost a character
inline constexpr DWORD CE_RXPARITY = 0x0004;  // parity error
inline constexpr DWORD CE_FRAME = 0x0008;     // framing error
inline constexpr DWORD CE_BREAK = 0x0010;     // break received

// Opens "\\.\COMn" (or "COMn") exclusively; see comm_device_names.h for the
// device it names. Access must be GENERIC_READ | GENERIC_WRITE or a part of
// it, share mode 0, creation OPEN_EXISTING. A port in use gives 5.
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);

// Closes a port, event or thread handle. Closing a port completes every
// operation still pending on it with 995.
BOOL CloseHandle(HANDLE object);

// Sizes of the port's input queue and of its output queue, in bytes.
BOOL SetupComm(HANDLE port, DWORD inQueueSize, DWORD outQueueSize);

BOOL GetCommState(HANDLE port, DCB* dcb);
BOOL SetCommState(HANDLE port, const DCB* dcb);

// Replaces the event mask and completes a pending WaitCommEvent with no bits.
BOOL SetCommMask(HANDLE port, DWORD eventMask);
BOOL GetCommMask(HANDLE port, LPDWORD eventMask);

// Waits for an event in the mask. `events` receives the bits; on an
// overlapped port with `overlapped` given it is written when the wait
// completes, atomically, since another thread may be the one to read it.
BOOL WaitCommEvent(HANDLE port, LPDWORD events, LPOVERLAPPED overlapped);

BOOL GetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts);
BOOL SetCommTimeouts(HANDLE port, const COMMTIMEOUTS* timeouts);

// With `overlapped` on a port opened with FILE_FLAG_OVERLAPPED: FALSE with 997
// while the operation is pending, TRUE when it completed at once. Without
// `overlapped` the call completes before it returns, on either kind of port.
BOOL ReadFile(HANDLE port, LPVOID buffer, DWORD length, LPDWORD bytesRead, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE port, LPCVOID buffer, DWORD length, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped);

// The outcome of an overlapped operation; 996 while it is still pending and
// `wait` is FALSE.
BOOL GetOverlappedResult(HANDLE port, LPOVERLAPPED overlapped, LPDWORD bytesTransferred, BOOL wait);

// Completes with 995 every operation that the calling thread started on the
// port and that is still pending; other threads' operations go on. When it
// returns, the cancelled operations touch their OVERLAPPED and buffers no more.
BOOL CancelIo(HANDLE port);

// The CE_ bits gathered since the last call (then cleared) and the queue
// state. The bits come from the tty driver's error counters; a tty without
// them (a pseudo-terminal) never reports any.
BOOL ClearCommError(HANDLE port, LPDWORD errors, COMSTAT* status);

