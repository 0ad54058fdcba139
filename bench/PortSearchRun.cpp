// Runs the port dialog through one whole search on COM1 with nothing that
// answers: 89 identify requests, then the give-up box (answered at once)
// and the end. bench/measure_search.py watches the line and the CPU time.
#include <QApplication>

#include "AccessCode.h"
#include "CommandSet.h"
#include "DeviceInfo.h"
#include "FirmwareImage.h"
#include "MessageBox.h"
#include "PortDlg.h"
#include "SerialCWnd.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    CSerialCWnd serial;
    DeviceInfo info;
    CFirmwareImage image(kAccessCodeLow, kAccessCodeHigh, CMD_LOADER);
    if (!image.LoadFromResource()) {
        return 1;
    }
    MessageBoxOperator person;  // closes the give-up box at once
    CPortDlg dialog;
    dialog.m_pSerial = &serial;
    dialog.m_pDeviceInfo = &info;
    dialog.m_pImage = &image;
    dialog.DoModal();
    return person.Shown().size() == 1 ? 0 : 1;
}
