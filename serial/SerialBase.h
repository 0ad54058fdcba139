// One COM port: open and close, line format, event mask, flow control, read
// time-out mode, getters, and writes, reads and event waits with optional
// overlapped I/O and a per-call time-out.
//
// Every operation returns a Win32 error code (0 is success; E_INVALIDARG for
// a mode outside the defined ones) and keeps it as the last error. Getters
// answer through their value and leave the code in the last error. Time-outs
// are in milliseconds; INFINITE means no limit.
//
// Threads: the UI thread may call every operation; a listener thread may at
// the same time call WaitForEvent (with its own OVERLAPPED and event),
// TakeEvents and ClearCommError on the port. Nothing else may run on two
// threads at once.
#pragma once

#include <atomic>
#include <cstdint>

#include "winapi.h"

class CSerialBase {
public:
    enum FlowControl : int { FlowNone = 0, FlowHardware = 1, FlowSoftware = 2 };
    enum ReadMode : int { ReadNonBlocking = 0, ReadBlocking = 1 };

    CSerialBase() = default;
    CSerialBase(const CSerialBase&) = delete;
    CSerialBase& operator=(const CSerialBase&) = delete;

    // Closes the port if it is open.
    virtual ~CSerialBase();

    // Opens `portName` ("\\.\COMn"). Queue sizes are in bytes; with both 0 the
    // driver's sizes stay. `overlapped` lets a listener wait on the port
    // while this thread reads and writes. 1247 when already open. Every
    // field of the line state and all five time-outs are set (9600 baud,
    // 8N1, binary, no flow control, DTR and RTS on, the non-blocking read
    // mode, writes bounded as WriteLimit.h says), so nothing a previous user
    // of the port left in its driver stays.
    virtual LONG Open(LPCSTR portName, DWORD inQueueSize, DWORD outQueueSize, bool overlapped);
    // 0 also when the port was not open.
    virtual LONG Close();

    // Baud rate in bits per second; data bits, parity and stop bits in the
    // DCB encodings (NOPARITY.., ONESTOPBIT..).
    virtual LONG Configure(DWORD baudRate, BYTE byteSize, BYTE parity, BYTE stopBits);
    // `addRxFlag` also adds EV_RXFLAG to the event mask.
    virtual LONG SetEvtChar(BYTE evtChar, bool addRxFlag);
    virtual LONG SetEventMask(DWORD mask);
    // The events that ended the wait are then in pendingEvents. With a caller
    // OVERLAPPED the result is 0 at once and the caller waits on its event.
    virtual LONG WaitForEvent(OVERLAPPED* overlapped, DWORD timeout);
    virtual LONG SetFlowControl(int mode);
    virtual LONG SetReadMode(int mode);

    virtual LONG GetBaudRate();     // -1 on failure
    virtual LONG GetByteSize();     // -1 on failure
    virtual LONG GetParity();       // NOPARITY unless parity is checked; -1 on failure
    virtual LONG GetStopBits();     // -1 on failure
    virtual LONG GetFlowControl();  // a FlowControl mode; -1 on failure
    virtual DWORD GetEventMask();   // the mask last set; 0 when not open
    virtual BYTE GetEvtChar();      // 0 on failure

    // Writes `text` without its terminating zero.
    virtual LONG WriteText(const char* text, DWORD* bytesWritten, OVERLAPPED* overlapped,
                           DWORD timeout);
    // `bytesWritten` and `bytesRead` may be null; they are 0 unless bytes moved.
    virtual LONG Write(const void* buffer, DWORD length, DWORD* bytesWritten,
                       OVERLAPPED* overlapped, DWORD timeout);
    virtual LONG Read(void* buffer, DWORD length, DWORD* bytesRead, OVERLAPPED* overlapped,
                      DWORD timeout);
    // What has already arrived, at most `length` bytes, never waiting: asks
    // the driver how many bytes are queued, then Reads (no OVERLAPPED,
    // INFINITE) no more than that, and nothing when none are. In the
    // non-blocking read mode a plain Read returns at once as well; some
    // drivers, though, keep a read of more than is queued pending until the
    // rest comes. Line errors found on the way are cleared. 0 or the code of
    // the failing step; `bytesRead` (may be null) as for Read.
    LONG ReadArrived(void* buffer, DWORD length, DWORD* bytesRead);
    // A read without an OVERLAPPED, whatever the port's mode; `overlapped`
    // and `timeout` are ignored. On an overlapped port it completes before
    // it returns.
    virtual LONG ReadDirect(void* buffer, DWORD length, DWORD* bytesRead, OVERLAPPED* overlapped,
                            DWORD timeout);

    bool IsOpen() const { return portHandle != nullptr; }
    // The delivered events that are in the mask; the delivered ones are cleared.
    DWORD TakeEvents();
    // The code of the most recent operation on either thread.
    LONG LastError() const { return lastError.load(); }

protected:
    // Stores `code` as the last error and returns it.
    LONG Finish(LONG code);
    LONG FinishWithSystemError();

    std::atomic<LONG> lastError{0};
    HANDLE portHandle = nullptr;  // owned; null while closed
    // Written by the system when an overlapped WaitCommEvent completes and
    // read by the listener, so every access of ours is atomic.
    alignas(std::atomic_ref<DWORD>::required_alignment) DWORD pendingEvents = 0;
    std::atomic<DWORD> eventMask{0};
    HANDLE ioEvent = nullptr;  // owned; only on an overlapped port; UI thread only

private:
    // Writes the whole line state of an 8-bit binary link with no flow control.
    LONG SetCleanLineState();
    template <typename StartCall>
    LONG RunIo(StartCall start, DWORD* count, OVERLAPPED* overlapped, DWORD timeout);
    // The common start of the operations: clears the last error; 0, or 6
    // (stored) when the port is not open.
    LONG Begin();
    // The common start of the operations that read the line state: clears
    // the last error, then GetCommState with the length field set. 0, or
    // the code (6 when closed), already stored.
    LONG BeginWithState(DCB& dcb);
};
