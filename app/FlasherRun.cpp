#include "FlasherRun.h"

#include <string>

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

bool LoadEmbeddedImage(CFirmwareImage& image) {
    if (!image.LoadFromResource()) {
        return false;
    }
    // The log names what this run writes, as it does for an image file.
    // The program's own firmware never changes: hashed once per process,
    // however many runs (a production line, the seeded simulations) it makes.
    static const std::string embeddedSha256 = Sha256Hex(EmbeddedFirmwareBytes());
    CurrentSession().OnEmbeddedImage(embeddedSha256);
    return true;
}

void FlasherRun::RunSequence() {
    // Declared in this order so that the record goes before the port object,
    // whose destruction stops the listener and closes the port.
    CSerialCWnd serial;
    DeviceInfo deviceInfo;

    // Refers to the module's bytes for the whole run; it lives as long as
    // the run, so a program that runs the sequence more than once (the
    // simulated runs do, one per seed; the production line, one per port)
    // keeps nothing of another.
    CFirmwareImage image(kAccessCodeLow, kAccessCodeHigh, CMD_LOADER);
    if (!LoadImage(image)) {
        return;
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
}

bool FlasherRun::LoadImage(CFirmwareImage& image) {
    return LoadEmbeddedImage(image);
}

int FlasherRun::RunModal(CDialog& dialog) {
    return dialog.DoModal();
}
