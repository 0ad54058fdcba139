// The run sequence of the two dialogs, on the objects it owns: it loads the
// embedded firmware image, runs the port selection and device search
// dialog and, once the instrument is found and the operator pressed OK, the
// update dialog; when the update dialog ends with anything but IDOK it
// warns that the update must be repeated. The application object runs it
// once; the console program's production line once per port, each on a
// thread of its own.
#pragma once

#include "SendPacing.h"
// On Windows the system's headers rename LoadImage (to LoadImageW); every
// file that declares, overrides or calls it must see the same name.
#include "winapi_types.h"

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

// Loads the module's image into `image` and tells the session which image
// the run carries; false after the loader's own message box.
bool LoadEmbeddedImage(CFirmwareImage& image);

class FlasherRun {
public:
    virtual ~FlasherRun() = default;

    // The whole sequence, once; every object it made is gone when it returns.
    void RunSequence();

    // The pace of the update, chosen on the command line before the run.
    Pacing m_nPacing = Pacing::Default;

protected:
    FlasherRun() = default;
    FlasherRun(const FlasherRun&) = delete;
    FlasherRun& operator=(const FlasherRun&) = delete;

    // The two steps that meet the outside world: loading the image (false
    // after the loader's own message box) and a modal run of a dialog (its
    // end code). Tests and the console program take them over to play the
    // operator.
    virtual bool LoadImage(CFirmwareImage& image);
    virtual int RunModal(CDialog& dialog);
};
