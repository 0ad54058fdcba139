// Framework-internal: what exists of a CDialog only while its modal run
// lasts, the same on every window system. The window itself is the
// backend's DialogWindow (DialogWindow.h beside the backend's other
// sources); the shared lifecycle (DialogRun.cpp) asks it only for this:
//
//   DialogWindow(CDialog& owner, const DialogTemplate&, CWnd* parent)
//       builds the window's state; `owner` and `parent` (either not owned,
//       parent may be null) outlive it.
//   static bool CanRunModal()       the window system can run a dialog now.
//   bool RunModal()                 makes the window, calls
//       owner.OnWindowCreated() once the window, its handle and its
//       controls exist, then loops until Finish unless the dialog ended in
//       OnInitDialog; false when no window could be made.
//   HWND Handle() const             the handle to which any thread posts.
//   DialogItem* FindItem(int id)    the control with that id, or null.
//   bool StartTimer(UINT_PTR id, UINT periodMs)  starts or restarts a
//       window timer (the period already at least the shortest); false
//       when the window system refuses it.
//   void StopTimer(UINT_PTR id)     stops a running timer and drops a tick
//       already queued for it.
//   void Finish(int result)         ends the loop of RunModal.
//   void SetTitle(const std::string&), std::string Title() const   the
//       caption (UTF-8).
//   int DialogUnitsToPixelsX(int dialogUnits) const
//
// The window goes when the run ends, and with it its handle, its timers
// and everything still queued for it.
#pragma once

#include <memory>
#include <set>
#include <vector>

#include "Dialog.h"
#include "DialogResults.h"
#include "DialogWindow.h"

struct CDialog::Window {
    std::unique_ptr<DialogWindow> window;
    std::vector<CControl*> boundControls;  // members bound by DDX_Control; not owned
    std::set<UINT_PTR> timers;             // the window timers running, by id
    bool ended = false;
    int result = IDCANCEL;
};
