// Framework-internal: the window of a running dialog on Win32, a modal run
// of the dialog manager from the template in memory. Its dialog procedure
// turns what the dialog manager reports (the window's start, clicks,
// selection changes, Enter, Esc, the close box, timer ticks, F1, posted
// messages) into calls on the running CDialog.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "DialogItem.h"
#include "DialogTemplate.h"

class CDialog;
class CWnd;

class DialogWindow {
public:
    // `owner` and `parent` (its window owns this one; may be null), neither
    // owned, outlive the window. The members below are those of
    // DialogRunState.h.
    DialogWindow(CDialog& owner, const DialogTemplate& dialogTemplate, CWnd* parent);
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    static bool CanRunModal() { return true; }
    bool RunModal();
    HWND Handle() const { return m_hwnd; }
    DialogItem* FindItem(int controlId);
    bool StartTimer(UINT_PTR id, UINT periodMs);
    void StopTimer(UINT_PTR id);
    void Finish(int result);
    void SetTitle(const std::string& text);
    std::string Title() const;
    int DialogUnitsToPixelsX(int dialogUnits) const;

private:
    // The procedure of every dialog; the DialogWindow comes as the creation
    // parameter of DialogBoxIndirectParamW.
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The dialog manager has made the window: its handle and its controls' items.
    void Attach(HWND window);
    // What the dialog manager reports once the window exists.
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    CDialog& m_owner;
    const DialogTemplate& m_template;
    HWND m_ownerWindow;                                 // the parent's window, or null
    HWND m_hwnd = nullptr;                              // null until the window starts
    std::map<int, std::unique_ptr<DialogItem>> m_items;  // by control id
};
