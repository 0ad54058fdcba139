// Framework-internal, console backend: the stand-in for a dialog's window.
// It owns the template's controls as items in memory and the caption; its
// timers, the messages posted to its handle and the loop of its modal run
// belong to the build's event loop (DialogEvents.h), which hands them back
// here. The members of the modal run are those of DialogRunState.h.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "DialogEvents.h"
#include "DialogItem.h"
#include "DialogTemplate.h"
#include "winapi_types.h"

class CDialog;
class CWnd;

class DialogWindow {
public:
    // `owner` (not owned) outlives the window; a console has no windows
    // to keep above others, so `parent` plays no part.
    DialogWindow(CDialog& owner, const DialogTemplate& dialogTemplate, CWnd* parent);
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    static bool CanRunModal() { return EventLoopExists(); }
    // Also tells the console operator that the dialog has started.
    bool RunModal();
    HWND Handle() const { return m_events->Handle(); }
    DialogItem* FindItem(int controlId);
    bool StartTimer(UINT_PTR id, UINT periodMs) { return m_events->StartTimer(id, periodMs); }
    void StopTimer(UINT_PTR id) { m_events->StopTimer(id); }
    void Finish(int /*result*/) { m_events->Finish(); }
    void SetTitle(const std::string& text) { m_title = text; }
    std::string Title() const { return m_title; }
    // A console has no pixels; the only width asked for goes to a list
    // that keeps none.
    int DialogUnitsToPixelsX(int dialogUnits) const { return dialogUnits; }

    // Clicks button `controlId` once the handler now running has returned;
    // a disabled button takes no click.
    void Press(int controlId) { m_events->Press(controlId); }

    // What the event loop delivers.
    void OnTimer(UINT_PTR id);
    void OnPosted(UINT message, WPARAM wParam, LPARAM lParam);
    void OnPress(int controlId);

    // Press on the window of `dialog`, if it runs.
    static void PressButtonOf(CDialog& dialog, int controlId);

private:
    CDialog& m_owner;
    std::string m_title;                                 // UTF-8
    std::map<int, std::unique_ptr<DialogItem>> m_items;  // by control id
    // Last, so that it goes first: with it the handle, the timers and what
    // is still queued for the window.
    std::unique_ptr<DialogEvents> m_events;
};
