// The person at the dialogs of a console program, which have no windows.
// The program installs one; it is told what the dialogs show, answers their
// message boxes by its policy and presses their buttons, so a run never
// waits for someone who is not there.
//
// Everything here runs on the thread that runs the dialogs (the
// user-interface thread, or one of DialogThreads.h), except
// PostToConsoleLoop.
#pragma once

#include <functional>
#include <string_view>

#include "winapi_types.h"

class CDialog;

class ConsoleOperator {
public:
    // `dialog` has run OnInitDialog and is about to wait for its events.
    virtual void OnDialogStarted(CDialog& dialog) = 0;
    // Control `controlId` of `dialog` changed its text, its enabled state,
    // its rows or its position.
    virtual void OnControlChanged(CDialog& dialog, int controlId) = 0;
    // A message box: `text` (UTF-8) with the buttons and icon of `type`.
    // Returns the answer: IDOK, or IDYES or IDNO for MB_YESNO.
    virtual int OnMessageBox(std::string_view text, UINT type) = 0;

protected:
    ConsoleOperator() = default;
    ~ConsoleOperator() = default;
};

// Installs `consoleOperator` (not owned; null: none) for the dialogs that
// the calling thread runs from now on; other threads keep their own.
// Without one, boxes are answered OK, and No to a question.
void InstallConsoleOperator(ConsoleOperator* consoleOperator);

// Presses button `controlId` of the running `dialog` as a click would, once
// the handler now running has returned. Nothing happens when the dialog has
// ended by then.
void PressDialogButton(CDialog& dialog, int controlId);

// Runs `work` on the user-interface thread's event loop (the main thread's,
// which also serves it while it waits for DialogThreads). Safe from any
// thread while the program's application object runs.
void PostToConsoleLoop(std::function<void()> work);
