// The port selection and device search dialog (template 132): lists COM1 to
// COM255, opens the chosen port and looks for the Зирон-7 on it, sending
// the identify request every 50 ms and stepping through SearchBaudRates,
// three ticks per rate, for at most five passes. A Зирон-7 that answers
// fills the DeviceInfo record and enables OK, once its reply can only have
// come at the rate in use (RateOfReplies.h); OK ends the dialog with the
// port left open at the rate found.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "Controls.h"
#include "DeviceInfo.h"
#include "Dialog.h"
#include "FrameReassembler.h"
#include "LinkFrame.h"
#include "OwnEcho.h"
#include "RateOfReplies.h"
#include "ReplyReceiver.h"
#include "SessionEvents.h"

class CSerialCWnd;
class CFirmwareImage;

class CPortDlg : public CDialog {
public:
    explicit CPortDlg(CWnd* parent = nullptr);

    CStatic m_ctlStatus;  // control 1153, the status line
    CComboBox m_ctlPort;  // control 1147, the port list
    // Set by the application before the modal run; none of the three is
    // owned, and all must outlive the run.
    DeviceInfo* m_pDeviceInfo = nullptr;               // filled when the instrument answers
    UINT_PTR m_nSearchTimer = 2;                       // id of the 50 ms search tick
    std::uint8_t m_probeFrame[kFrameBufferSize] = {};  // the identify request, sealed
    CSerialCWnd* m_pSerial = nullptr;    // the port: opened here, left open at the end
    std::string m_strStatus;             // text of the status line
    UINT_PTR m_nRxTimer = 4;             // id of the 50 ms receive-gap timer
    FrameReassembler m_rx;               // replies cut out of the byte stream
    OwnEcho m_echo;                      // our requests coming back, passed over
    RateOfReplies m_replyRate;           // whether a reply came at the rate in use
    std::int32_t m_nTicks = 0;           // ticks since a rate switch, port check or reply that holds
    std::uint8_t m_nBaudIndex = 0;       // index into SearchBaudRates of the rate in use
    CFirmwareImage* m_pImage = nullptr;  // gives the caption its version and date
    std::uint8_t m_nScans = 0;           // passes over SearchBaudRates since the port check
    // The entry of the port list (0 is COM1) selected when the dialog
    // opens. A console program names its port here so that no other port is
    // opened; left empty, the dialog chooses for the operator (InitialPort.h).
    std::optional<int> m_nInitialPort;
    // Set by a program that nobody watches before the modal run: only the
    // Зирон-7 holds the search at a rate, so that a line where something
    // else answers ends after the same five passes as a silent one. With a
    // person at the screen any answer holds it, and Выход ends the search.
    bool m_bUnattended = false;

    // What the line returned since the dialog opened, the Зирон-7 aside.
    enum class LineHeard {
        Nothing,        // silence, or only frames that failed their checksum
        OwnBytes,       // only our own requests came back (OwnEcho)
        AnotherDevice,  // a valid frame of another device or device type
    };
    LineHeard Heard() const;

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;

    // The port check: (re)opens the selected port and restarts the search.
    void OnSelchangePort();
    // Shows the About box; the search goes on meanwhile.
    void OnHelpButton();
    // The port's notification: low word of wParam holds the EV_ bits.
    LRESULT OnPortEvent(WPARAM wParam, LPARAM lParam);

private:
    void OnSearchTick();
    // Moves the search to the next rate, and to the next pass after the
    // last rate; false when the passes are used up and the dialog ends.
    bool MoveToNextRate();
    // "Нет связи с Зирон-7!", then the dialog ends as cancelled.
    void GiveUp();
    // Takes in what the port holds, for `cause`; true when bytes arrived.
    bool TakeInReplies(ReceiveCause cause);
    // Sets the line to the rate in use.
    void ConfigureLine();
    // A frame that passed its checksum.
    void OnReply(std::span<const std::uint8_t> frame);
    // OnReply, as the reassembler calls it.
    FrameReassembler::FrameHandler ReplyHandler();
    std::int32_t CurrentRate() const;
    void EnableOk(bool enable);
    // The entry to select at start when the program named none.
    int ChooseInitialEntry() const;
    // Keeps the selected port in the user's settings, once per port check.
    void RememberPort();

    bool m_bPortRemembered = false;  // the selected port is in the settings
    bool m_bAnotherDeviceHeard = false;
    // The instrument last reported to the session; it answers on every
    // tick, and only a change is news.
    std::optional<FoundInstrument> m_reportedInstrument;
    void ShowStatus();
};
