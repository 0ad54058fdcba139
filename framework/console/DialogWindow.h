// Framework-internal, console backend: the stand-in for a dialog's window.
// It owns the template's controls as items in memory; its timers, the
// messages posted to its handle and the loop of its modal run belong to the
// platform's event loop (qt/EventLoop.cpp: QtCore; win32/EventLoop.cpp: a
// message-only window), which hands them back here.
#pragma once

#include <map>
#include <memory>

#include "DialogItem.h"
#include "DialogTemplate.h"
#include "winapi_types.h"

class CDialog;

class DialogWindow {
public:
    // `owner` (not owned) outlives the window.
    DialogWindow(CDialog& owner, const DialogTemplate& dialogTemplate);
    ~DialogWindow();
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    // The control with this id, or null.
    DialogItem* FindItem(int controlId);
    // The handle to which any thread may post the dialog's messages; it
    // goes with the window.
    HWND Handle() const;

    // Window timers: start or restart `id`; stop it (false if not running).
    void StartTimer(UINT_PTR id, UINT periodMs);
    bool StopTimer(UINT_PTR id);
    // Clicks button `controlId` once the handler now running has returned;
    // a disabled button takes no click.
    void Press(int controlId);
    // The modal run's loop: returns once Finish has been called.
    void Run();
    void Finish();

    // What the event loop delivers.
    void OnTimer(UINT_PTR id);
    void OnPosted(UINT message, WPARAM wParam, LPARAM lParam);
    void OnPress(int controlId);

    // Whether the platform's event loop can run a dialog now.
    static bool EventLoopExists();
    // Press on the window of `dialog`, if it runs.
    static void PressButtonOf(CDialog& dialog, int controlId);

private:
    CDialog& m_owner;
    std::map<int, std::unique_ptr<DialogItem>> m_items;  // by control id
    struct Events;  // the platform's timers, posted messages and loop
    std::unique_ptr<Events> m_events;
};
