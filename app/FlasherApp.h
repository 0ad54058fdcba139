// The updater's application object: its start-up runs the whole program.
// It loads the embedded firmware image, runs the port selection and device
// search dialog and, once the instrument is found and the operator pressed
// OK, the update dialog; when the update dialog ends with anything but IDOK
// it warns that the update must be repeated. Then it tears everything down
// and returns FALSE, so the process ends.
#pragma once

#include "SendPacing.h"
#include "WinApp.h"

class CDialog;
class CFirmwareImage;
class CSerialCWnd;
class DeviceInfo;

// Both dialogs work on the same three objects; none of them is owned by a
// dialog.
template <typename Dialog>
void HandOver(Dialog& dialog, CSerialCWnd& serial, DeviceInfo& deviceInfo, CFirmwareImage& image) {
    dialog.m_pSerial = &serial;
    dialog.m_pDeviceInfo = &deviceInfo;
    dialog.m_pImage = &image;
}

// Shown whenever the update dialog ends with anything but IDOK.
inline constexpr const char* kUpdateNotCompletedWarning =
    "ВНИМАНИЕ!\nОбновление программы не было завершено\n"
    "Для работы прибора необходимо повторить операцию";

class CFlasherApp : public CWinApp {
public:
    CFlasherApp();

    // Runs the program; always returns FALSE.
    BOOL InitInstance() override;

    // The pace of the update, chosen on the command line before the run.
    Pacing m_nPacing = Pacing::Default;

protected:
    // The two steps that meet the outside world: loading the module's image
    // (false after the loader's own message box) and a modal run of a dialog
    // (its end code). Tests take them over to play the operator.
    virtual bool LoadImage(CFirmwareImage& image);
    virtual int RunModal(CDialog& dialog);
};
