#include "FlasherApp.h"

#include "AccessCode.h"
#include "CommandSet.h"
#include "DeviceInfo.h"
#include "DialogResults.h"
#include "FirmwareImage.h"
#include "MessageBox.h"
#include "PortDlg.h"
#include "SerialCWnd.h"
#include "SessionEvents.h"
#include "Sha256.h"
#include "UpdateDlg.h"

CFlasherApp::CFlasherApp() {
    MapCommand(ID_HELP, [this] { OnHelp(); });
}

BOOL CFlasherApp::InitInstance() {
    AfxEnableControlContainer();
    Enable3dControls();

    // Declared in this order so that the record goes before the port object,
    // whose destruction stops the listener and closes the port.
    CSerialCWnd serial;
    DeviceInfo deviceInfo;

    // Refers to the module's bytes for the whole run; it lives as long as
    // the run, so a program that runs the application more than once (the
    // simulated runs do, one per seed) keeps nothing of the last.
    CFirmwareImage image(kAccessCodeLow, kAccessCodeHigh, CMD_LOADER);
    if (!LoadImage(image)) {
        return FALSE;
    }

    CPortDlg portDialog;
    HandOver(portDialog, serial, deviceInfo, image);
    if (RunModal(portDialog) == IDOK) {
        CUpdateDlg updateDialog;
        HandOver(updateDialog, serial, deviceInfo, image);
        updateDialog.m_nPacing = m_nPacing;
        const int result = RunModal(updateDialog);
        CurrentSession().OnUpdateEnded(result, result == IDOK);
        if (result != IDOK) {
            AfxMessageBox(kUpdateNotCompletedWarning, MB_OK | MB_ICONSTOP);
        }
    }
    return FALSE;
}

bool CFlasherApp::LoadImage(CFirmwareImage& image) {
    if (!image.LoadFromResource()) {
        return false;
    }
    // The log names what this run writes, as it does for an image file.
    CurrentSession().OnEmbeddedImage(Sha256Hex(EmbeddedFirmwareBytes()));
    return true;
}

int CFlasherApp::RunModal(CDialog& dialog) {
    return dialog.DoModal();
}
