// A serial port with a listener thread: the port is always opened in
// overlapped mode, and the thread waits for port events and hands each
// wake-up with events to OnEvent. The thread never reads data.
//
// In a simulated world (a SimulatedClock installed) no thread is started:
// the same steps (arm the wait, take its events and line errors, OnEvent,
// arm again) run as events of the world's system lane, each wake-up as the
// event that the port's completion queues, so that their order is fixed by
// the world; stopping them is immediate.
//
// The object owns the port, its events and the thread, and must outlive the
// thread: Close stops it first, waiting at most twice kListenerStopMs. The
// thread calls the object's virtual operations, so the most derived class
// stops it in its own destructor, before any part of the object goes.
#pragma once

#include <atomic>
#include <cstdint>

#include "SerialBase.h"

// How long Close waits for the listener to end, in milliseconds, at each of
// its two steps (so 1 s at most): after the rewritten event mask, which ends
// the listener's wait on every driver that keeps to the rules, and after
// its own event wakes it to cancel the wait itself.
inline constexpr DWORD kListenerStopMs = 500;

class CSerialListener : public CSerialBase {
public:
    ~CSerialListener() override;

    // Opens the port in overlapped mode; `startListener` also starts the
    // thread (its failure is returned with the port left open).
    LONG Open(LPCSTR portName, DWORD inQueueSize, DWORD outQueueSize, bool startListener) override;
    // Stops the thread, then closes the port. ERROR_TIMEOUT (1460) when the
    // thread did not end within the bound: a driver that ignores both a new
    // event mask and the cancelling of the wait holds it, and the port, its
    // events and the thread all stay, for a later Close to try again.
    LONG Close() override;

    // Seals the link frame in `frame` (which needs room for the two CRC bytes
    // behind the payload) and writes all of it, waiting no longer than
    // WriteLimitMs at the port's rate. ERROR_TIMEOUT (1460) when the line did
    // not take the whole frame in that time: the line has stalled.
    virtual LONG SendFrame(std::uint8_t* frame);
    // 0 and nothing more when a thread exists already.
    virtual LONG StartListener();
    // Ends the thread, waiting up to `timeout` ms; always 0. When the time
    // runs out the thread is left running with everything it uses kept.
    virtual LONG StopListener(DWORD timeout);
    // On the listener thread (in a simulated world: in a system-lane
    // event): `events` are the EV_ bits that fired and are in
    // the mask (never 0), `errors` the CE_ bits of this wake-up. The result is
    // ignored.
    virtual LONG OnEvent(DWORD events, DWORD errors) = 0;
    // On the listener thread, once, when the port's event wait failed (the
    // device went away) and the thread ends; `error` is the Win32 code. Not
    // called when the thread ends because it was asked to.
    virtual void OnLineLost(LONG error) = 0;

protected:
    // For destructors: Close, and should the thread outlast its bound, wait
    // for it without limit, as the memory it uses cannot go while it runs.
    void CloseBeforeDestruction();

    std::atomic<bool> stopRequested{false};  // written by the UI thread, read by the listener
    HANDLE listenerThread = nullptr;         // owned; null when there is none
    HANDLE waitEvent = nullptr;              // owned; the listener's OVERLAPPED event
    // The queued listener: its wait's record, which lives from one system
    // event to the next, and the registration of its next wake-up.
    bool queuedListening = false;
    OVERLAPPED queuedOverlapped{};
    HANDLE queuedWakeUp = nullptr;  // owned

private:
    static DWORD WINAPI ThreadProc(LPVOID self);
    DWORD Listen();
    // The steps both kinds of listener share. Arms the event wait on
    // `overlapped` with the listener's event; 0 or the code.
    LONG ArmWait(OVERLAPPED& overlapped);
    // What a signalled event turned out to be.
    enum class WakeUp {
        Taken,     // the wait ended; its events went to OnEvent
        Early,     // the wait is still pending: wait for the event again
        LineLost,  // the wait failed; OnLineLost was told
    };
    // After the wait's event was signalled: hands its events and the line
    // errors to OnEvent. With LineLost, the thread's exit code is in
    // `exitCode`.
    WakeUp TakeWakeUp(OVERLAPPED& overlapped, DWORD& exitCode);
    // Has the queued listener woken when the event is next signalled; false
    // when that cannot be registered (OnLineLost was told).
    bool AwaitQueuedWakeUp();

    // The listener in a simulated world.
    LONG StartQueuedListener();
    void ArmQueuedListener();
    static void CALLBACK QueuedWakeUp(PVOID self, BOOLEAN timedOut);
    void OnQueuedWakeUp();
    void StopQueuedListener();
    // Keeps `error`, tells OnLineLost and gives the thread's exit code.
    DWORD EndWithLostLine(LONG error);
    // Ends a wait that the listener left pending so that the system no longer
    // touches its OVERLAPPED.
    void AbandonWait(OVERLAPPED& overlapped);
};
