// Framework-internal, console backend: the event loop as one dialog's
// window sees it. Each build has one loop (qt/EventLoop.cpp: QtCore;
// win32/EventLoop.cpp: a message-only window; simulated/EventLoop.cpp: the
// simulated world's queue); it delivers to the DialogWindow what comes for
// it (OnTimer, OnPosted, OnPress) and nothing once these events have gone.
#pragma once

#include <memory>

#include "winapi_types.h"

class DialogWindow;

class DialogEvents {
public:
    virtual ~DialogEvents() = default;

    // The handle to which any thread may post the dialog's messages.
    virtual HWND Handle() const = 0;
    // Window timers: start or restart `id` with `periodMs` (at least the
    // shortest period); false when refused. Stop drops a tick still queued.
    virtual bool StartTimer(UINT_PTR id, UINT periodMs) = 0;
    virtual void StopTimer(UINT_PTR id) = 0;
    // Queues a click on button `controlId`, behind what is queued already.
    virtual void Press(int controlId) = 0;
    // The modal run's loop: returns once Finish has been called, or when
    // the loop knows that nothing can ever come again.
    virtual void Run() = 0;
    virtual void Finish() = 0;

protected:
    DialogEvents() = default;
    DialogEvents(const DialogEvents&) = delete;
    DialogEvents& operator=(const DialogEvents&) = delete;
};

// This build's events for `window` (not owned; it outlives them).
std::unique_ptr<DialogEvents> MakeDialogEvents(DialogWindow& window);

// Whether this build's event loop can run a dialog now.
bool EventLoopExists();
