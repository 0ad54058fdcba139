// The Win32 event, wait and thread services on Linux. Waits block in the
// kernel (condition variables); nothing here polls.
#pragma once

#include "winapi_comm.h"
#include "winapi_types.h"

inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// An unnamed event; a manual-reset one stays signalled until ResetEvent. The
// caller owns the handle and gives it back with CloseHandle. Names and
// security attributes are not supported: both must be null.
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Waits up to `milliseconds` (INFINITE: no limit) for an event to be
// signalled or a thread to end: WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
// While a simulated world is installed (SimulatedClock.h) the wait runs
// that world's system lane in simulated time instead of blocking; a wait
// without limit that nothing queued can end fails (WAIT_FAILED, last error
// ERROR_TIMEOUT): on a real machine it would never return.
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);

// Calls `callback(context, FALSE)` once, when `object` is signalled. Only in
// a simulated world, where the call is an event of its system lane, and
// only with WT_EXECUTEONLYONCE and INFINITE; otherwise FALSE with
// ERROR_NOT_SUPPORTED or ERROR_INVALID_PARAMETER. `*waitObject` receives
// the registration, which UnregisterWait ends (and drops a call not yet
// made); it must be ended even after the call.
using WAITORTIMERCALLBACK = void(CALLBACK*)(PVOID context, BOOLEAN timedOut);
inline constexpr ULONG WT_EXECUTEONLYONCE = 0x00000008;
BOOL RegisterWaitForSingleObject(PHANDLE waitObject, HANDLE object, WAITORTIMERCALLBACK callback,
                                 PVOID context, ULONG milliseconds, ULONG flags);
BOOL UnregisterWait(HANDLE waitObject);

using LPTHREAD_START_ROUTINE = DWORD(WINAPI*)(LPVOID parameter);

// Starts `start(parameter)` on a new thread at once (creation flags must be
// 0). The handle is signalled when the thread has ended; the caller owns it
// and gives it back with CloseHandle, which does not stop the thread.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                    LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD creationFlags,
                    LPDWORD threadId);

// The exit code of an ended thread; STILL_ACTIVE while it runs.
inline constexpr DWORD STILL_ACTIVE = 259;
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
