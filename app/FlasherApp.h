// The updater's application object: its start-up runs the whole program,
// the run sequence of the two dialogs (FlasherRun.h), then returns FALSE,
// so the process ends.
#pragma once

#include "FlasherRun.h"
#include "WinApp.h"

class CFlasherApp : public CWinApp, public FlasherRun {
public:
    CFlasherApp();

    // Runs the program; always returns FALSE.
    BOOL InitInstance() override;
};
