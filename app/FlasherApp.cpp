#include "FlasherApp.h"

CFlasherApp::CFlasherApp() {
    MapCommand(ID_HELP, [this] { OnHelp(); });
}

BOOL CFlasherApp::InitInstance() {
    AfxEnableControlContainer();
    Enable3dControls();
    RunSequence();
    return FALSE;
}
