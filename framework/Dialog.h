// The dialog base: a modal dialog built from a template (DialogTemplate.h),
// with data exchange, a message map, window timers by id and a window handle
// to which other threads post messages.
//
// Life of a modal run (DoModal): the window and its controls are created
// from the template, the window gets its handle (GetSafeHwnd), OnInitDialog
// runs, then the dialog's loop runs until EndDialog. From EndDialog on no
// timer tick and no posted message reaches a handler, even one still queued
// or delivered by a loop that a handler runs (a message box); the window, its
// handle and all its timers go when the run ends, and messages posted to the
// handle after that are dropped.
//
// Everything here runs on the user-interface thread, except that any thread
// may post to the window handle (PostMessageA).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "Control.h"
#include "DataExchange.h"
#include "Wnd.h"

class CDialog : public CWnd {
public:
    // `parent` (not owned, may be null) keeps the dialog above it.
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Runs the dialog modally; returns the code given to EndDialog: IDOK (1),
    // IDCANCEL (2) or another code. Returns -1 without showing anything when
    // the template is unknown, no application object exists or the dialog is
    // already running.
    int DoModal();

    // Ends the modal run with `result` once the current handler returns.
    void EndDialog(int result);

    // Runs DoDataExchange: TRUE takes the controls' data into the members,
    // FALSE shows the members in the controls. FALSE when no window exists.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // The window's caption (UTF-8).
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;

    // A window object for control `controlId` of the running dialog, owned by
    // the dialog and valid until the run ends; null when there is none.
    CControl* GetDlgItem(int controlId);

    // Starts window timer `id` with a period in milliseconds, or restarts it
    // with the new period when it is running; returns `id`, or 0 when no
    // window exists or `id` is 0. Ticks reach OnTimer(id) on this thread.
    UINT_PTR SetTimer(UINT_PTR id, UINT periodMs);
    // Stops timer `id`; FALSE when it was not running.
    BOOL KillTimer(UINT_PTR id);
    // SetTimer for an id kept in a member: `id` takes the id that SetTimer
    // returns, except when the platform refuses the timer, which leaves `id`
    // as it was (a later start tries again, where an id of 0 never could)
    // and gives false.
    bool StartTimer(UINT_PTR& id, UINT periodMs);

    // The pixels that `dialogUnits` horizontal dialog units take in the
    // running dialog's font (a quarter of its average character width
    // each), for sizes the template cannot give, such as a list's column;
    // `dialogUnits` unchanged without a window.
    int DialogUnitsToPixelsX(int dialogUnits) const;

protected:
    // Called once the window and its controls exist: runs the data exchange
    // towards the controls. Returns TRUE (the framework sets the focus).
    virtual BOOL OnInitDialog();
    // Lists the dialog's bindings; the base has none.
    virtual void DoDataExchange(CDataExchange* exchange);
    // OK: takes the controls' data (UpdateData(TRUE)) and ends with IDOK.
    virtual void OnOK();
    // Cancel, Esc and the close box: ends with IDCANCEL.
    virtual void OnCancel();
    // A tick of window timer `id`; the base does nothing.
    virtual void OnTimer(UINT_PTR id);

    // The message map; fill it in the constructor.
    // A message posted to the window's handle (e.g. a registered message).
    using MessageHandler = std::function<LRESULT(WPARAM wParam, LPARAM lParam)>;
    void MapMessage(UINT message, MessageHandler handler);
    // A click on button `controlId` (OK and Cancel default to OnOK, OnCancel).
    void MapButtonClicked(int controlId, std::function<void()> handler);
    // The operator picked another entry of combo box `controlId`.
    void MapSelectionChanged(int controlId, std::function<void()> handler);

private:
    friend void DDX_Control(CDataExchange*, int, CControl&);
    friend void DDX_Text(CDataExchange*, int, std::string&);
    friend class DialogWindow;

    // Dispatch from the window to the map and the virtual handlers.
    void HandleCommand(int controlId);
    void HandleSelectionChanged(int controlId);
    // False when the map has no entry for the message. Once the run has
    // ended a mapped message is taken without running its handler.
    bool HandlePostedMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void HandleTimer(UINT_PTR id);
    // The window system's window, its handle and its controls exist: the
    // dialog takes the handle and runs OnInitDialog.
    void OnWindowCreated();
    // The window exists and the run has not been ended.
    bool IsRunning() const;
    void ReleaseWindow();
    DialogItem* FindItem(int controlId);
    // Binds `control` to `item` until the window goes.
    void BindControl(CControl& control, DialogItem& item);

    UINT m_nTemplateId;
    CWnd* m_pParentWnd;  // not owned

    std::map<UINT, MessageHandler> m_messageMap;
    std::map<int, std::function<void()>> m_buttonMap;
    std::map<int, std::function<void()>> m_selectionMap;

    struct Window;  // the window while the modal run lasts
    std::unique_ptr<Window> m_pWindow;
    // Controls handed out by GetDlgItem, by id; they go with the window.
    std::map<int, std::unique_ptr<CControl>> m_dialogItems;
};
