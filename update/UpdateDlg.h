// The update dialog (template 134): reads the identity of the firmware in the
// instrument, decides between writing, verifying only and refusing, brings
// the instrument into its bootloader, has the image write and verify the
// flash (up to five verified passes), returns the instrument to its main
// program and tells the operator the outcome.
//
// Every request goes through m_queue. The next one goes out as soon as the
// reply to the previous one is taken and the pace allows (SendPacing.h);
// the 50 ms pump repeats an outstanding request until its reply arrives,
// sends what the queue holds when no reply drove it, keeps the link alive
// with identify requests and gives up after 100 ticks without a reply
// taken for the outstanding request (frames passed over, rejected or
// not awaited show nothing moving and do not count; ticks while the pace
// holds our own next request back are no silence of the instrument's).
// Every detour has a
// budget of its own, spent like a silent line. Replies arrive as the port's
// notifications (OnPortEvent) and drive the phases. The first outcome shown
// stands: nothing after it adds a second.
//
// Enter is no command here: the dialog has no OK button, and the Windows
// dialog manager would turn Enter into IDOK, an end without outcome. Esc is
// "Выход".
//
// End codes: IDOK (1) after the outcome box, a refusal, or the failures that
// need no warning; IDCANCEL (2) when the operator leaves, on entering
// failures and for a foreign instrument; kUpdateLinkLost (5) when the link
// falls silent before the new firmware has passed verification.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <span>
#include <string>

#include "Controls.h"
#include "DeviceInfo.h"
#include "Dialog.h"
#include "FrameQueue.h"
#include "FrameReassembler.h"
#include "LinkFrame.h"
#include "OwnEcho.h"
#include "ReplyMatching.h"
#include "SendPacing.h"
#include "SessionEvents.h"

class CSerialCWnd;
class CFirmwareImage;

// The end code when the link falls silent before success.
inline constexpr int kUpdateLinkLost = 5;

// Phases of the update (m_nPhase).
inline constexpr std::uint8_t PHASE_INFO = 0;    // reading the instrument's firmware identity
inline constexpr std::uint8_t PHASE_ENTER = 1;   // bringing the instrument into its bootloader
inline constexpr std::uint8_t PHASE_WRITE = 2;   // the image writes the flash
inline constexpr std::uint8_t PHASE_VERIFY = 3;  // the image reads the flash back and compares
inline constexpr std::uint8_t PHASE_LEAVE = 4;   // returning the instrument to its main program
inline constexpr std::uint8_t PHASE_DONE = 5;    // the outcome is shown; the dialog ends

// What a run of the dialog is for (m_nPurpose). The operator's program
// always updates; a console program may also only verify the flash or only
// read the firmware's identity.
inline constexpr std::uint8_t PURPOSE_UPDATE = 0;    // decide, then write or verify
inline constexpr std::uint8_t PURPOSE_VERIFY = 1;    // verify whatever the build times; never write
inline constexpr std::uint8_t PURPOSE_IDENTIFY = 2;  // end with OK once the identity is logged

// Window timers of the dialog, by id.
inline constexpr UINT_PTR TIMER_PUMP = 2;           // 50 ms: repeats, the watchdog, the keep-alive
inline constexpr UINT_PTR TIMER_RX_GAP = 4;         // 50 ms after the last received byte
inline constexpr UINT_PTR TIMER_LEAVE_SETTLE = 7;   // 500 ms after the switch back to main
inline constexpr UINT_PTR TIMER_ENTER_SETTLE = 10;  // 500 ms after the bootloader's acknowledgement
inline constexpr UINT_PTR TIMER_PACE = 11;          // once: the next frame or a repeat is due

// Their periods, in milliseconds.
inline constexpr UINT kPumpPeriodMs = 50;
inline constexpr UINT kSettleMs = 500;
// An outstanding request unanswered this long is given up for another
// (UpdateUnanswered.cpp), in milliseconds: ten times the longest exchange
// at the slowest rate, margin included, yet well inside the watchdog's 5 s.
// Where the status is asked at one rate after another, each later turn
// through the rates waits this much longer at each.
inline constexpr UINT kUnansweredMs = 500;

// The rate at which the bootloader talks, in baud.
inline constexpr std::int32_t kBootloaderBaud = 38400;

using FrameBuffer = std::uint8_t[kFrameBufferSize];

class CUpdateDlg : public CDialog {
public:
    explicit CUpdateDlg(CWnd* parent = nullptr);
    ~CUpdateDlg() override;

    CListCtrl m_ctlLog;                  // control 1197: one line per event
    CProgressCtrl m_ctlProgress;         // control 1164: 0..100
    std::string m_strPercent;            // control 1179: the progress as text
    std::string m_strStatus;             // control 1198: the address in work
    CFirmwareImage* m_pImage = nullptr;  // set by the application; not owned
    std::uint8_t m_nPurpose = PURPOSE_UPDATE;  // set before the modal run
    std::uint8_t m_nPhase = PHASE_INFO;
    bool m_bSameDate = false;  // the instrument has the image's build time: verify first
    // Status replies showing the wrong program that are still allowed: 10
    // for entering from the decision on, 10 more for leaving.
    std::uint8_t m_nLoaderTries = 0;
    DeviceInfo* m_pDeviceInfo = nullptr;  // set by the application; not owned
    UINT_PTR m_nRxTimer = TIMER_RX_GAP;
    FrameReassembler m_rx;  // replies cut out of the byte stream
    OwnEcho m_echo;         // our frames coming back, passed over before the replies
    std::uint8_t m_nVerifyFailures = 0;
    std::string m_strResult;         // the outcome text of the final box
    UpdateConclusion m_nResult = UpdateConclusion::NoLink;  // and the outcome it tells
    bool m_bSuccess = false;         // the new firmware has passed verification
    std::uint8_t m_nAwaitedCmd = 0;  // command whose reply is outstanding; 0: none
    UINT_PTR m_nPumpTimer = TIMER_PUMP;
    FrameBuffer m_keepAliveFrame = {};  // the identify request, with room for its CRC
    bool m_bKeepAlive = true;           // identify requests go out while nothing else is due
    FrameBuffer m_txFrame = {};  // the frame last taken from the queue, sent again while awaited
    FrameQueue m_queue;          // requests waiting to be sent
    CSerialCWnd* m_pSerial = nullptr;  // set by the application: the open port; not owned
    std::int32_t m_nTicks = 0;         // pump ticks since a reply was last taken
    bool m_bEntryPending = false;      // the switch into the bootloader awaits its acknowledgement
    std::int32_t m_nDeviceBaud = 0;    // the main program's rate in baud, read at start
    UINT_PTR m_nLeaveTimer = TIMER_LEAVE_SETTLE;
    UINT_PTR m_nEnterTimer = TIMER_ENTER_SETTLE;
    std::uint8_t m_nInfoStep = 0;  // information step asked: 0 date, 1 time, 2 identity
    std::string m_strDeviceDate;   // the instrument's build date text ("Jun 20 2011")
    std::string m_strDeviceTime;   // the instrument's build time text ("09:15:48")
    std::uint8_t m_nLogLine = 0;   // index of the next log line

    // Set before the modal run: the operator's choice of pace.
    Pacing m_nPacing = Pacing::Default;
    // When frames may go out, and the timing of the outstanding request
    // (m_txFrame): its repeats, and late copies of the previous one's reply.
    SendPacer m_pacer;
    std::uint32_t m_nTxSends = 0;        // times the outstanding request went out
    PaceTime m_tAwaitingSince{};        // when it was taken from the queue
    // A reply was taken while the port's bytes were read: the next frame
    // goes out as soon as the pace allows, not at the next tick.
    bool m_bReplyTaken = false;
    UINT_PTR m_nPaceTimer = TIMER_PACE;
    // When the next request, waiting for its moment, is due.
    std::optional<PaceTime> m_tNextDue;
    InfoReplyFilter m_infoFilter;        // late copies of earlier information steps
    LoaderReplyMatcher m_loaderMatcher;  // bootloader replies, echo or not
    // The information went unanswered; the status asked tells whether the
    // bootloader holds the instrument.
    bool m_bAskingResidentStatus = false;
    // The status asked so answered from the bootloader: the instrument was
    // found there, before any switch of ours.
    bool m_bFoundInLoader = false;
    // Statuses asked in place of unanswered information that found the main
    // program; the budget spent ends the run as a silent line does.
    std::uint8_t m_nInfoDetours = 0;
    // The status asked answers a switch into the bootloader that went
    // unanswered: it costs no try of m_nLoaderTries but one of these (20).
    bool m_bSwitchUnanswered = false;
    std::uint8_t m_nUnansweredSwitchTries = 0;
    // Rates at which the status went unanswered while entering or leaving,
    // since a reply was last taken.
    std::uint32_t m_nUnansweredRates = 0;
    // How late the instrument's last status reply taken may have been: a
    // rate is asked at least this long before the next, so that a reply as
    // late comes while the port still listens for it. Measured from the
    // first send at that rate of the statuses asked in turn until then.
    PaceTime m_tStatusLateness{};
    std::map<std::uint32_t, PaceTime> m_statusAskedSince;  // by rate in baud
    // The silence the watchdog judges is the instrument's while it is
    // asked, not while we hold our own request back: the request now queued
    // follows a reply taken (the count starts when it goes out), or one given
    // up, and is held this long beyond the pace until a late copy of an
    // earlier reply can no longer be taken for its answer.
    bool m_bNextFollowsReply = false;
    PaceTime m_tHeldForCopies{};
    // An outcome box has been shown or is open: the run has ended.
    bool m_bConcluded = false;

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;
    // The pump, the two settle waits and the receive gap.
    void OnTimer(UINT_PTR id) override;
    // The port's notification: low word of wParam holds the EV_ bits.
    LRESULT OnPortEvent(WPARAM wParam, LPARAM lParam);
    // Inserts a line at m_nLogLine and moves on; virtual so that a harness
    // can follow the log as the operator sees it.
    virtual void AddLogLine(const std::string& text);

    // Request producers: one queue entry each, at the head.
    void QueueInfoRequest();
    void QueueStatusRequest();
    void QueueSwitchToLoader();  // empties the queue, stops the keep-alive
    void QueueSwitchToMain();    // the same, and awaits no reply
    void QueueImageFrame();
    // Discards up to 2047 pending bytes and any partial reply.
    void FlushInput();

private:
    // The pump (UpdatePump.cpp).
    void OnPumpTick();
    // Sends the next request from the queue when the pace allows, or arms
    // the pace timer for the moment it will; true when it went out or is
    // due. Only while no reply is outstanding.
    bool SendNextWhenPaced();
    // When the queue's head, ready at `readyAt`, is due by the pace, and
    // held until its reply can no longer be taken for a copy of the last.
    PaceTime NextFrameDue(PaceTime readyAt) const;
    // The pace timer fell due: the outstanding request's repeat, or the next one.
    void OnPaceDue();
    // While a request other than the keep-alive's is outstanding: gives it up
    // for another once it has waited too long, or repeats it when due. False
    // when none is outstanding.
    bool ServeOutstandingRequest();
    // True when a frame that must wait `wait` may go out now (a fraction of
    // a millisecond is waited here); false when the pace timer was armed.
    bool PacedNow(PaceTime wait);
    // After the port's bytes were read: a reply taken lets the next request go.
    void AfterReceiving(std::size_t checksumFailuresBefore);
    // The fast pace ends for the rest of the run; the log says why.
    void FallBackToDefaultPace(const char* reason);
    // The bootloader writes or verifies: where the fast pace applies.
    bool PassInProgress() const;
    // A request other than the keep-alive's awaits its reply: the queue
    // waits, and the request is repeated or given up in time.
    bool RequestOutstanding() const;
    // The end of a silent line in the current phase (the watchdog's), also
    // when a detour's budget is spent or the line fails (the adapter gone, a
    // timer the system refused): the pump and the pace timer stop.
    void GiveUpLink();
    // Reports `conclusion`, shows its `text` with `type` and ends the dialog
    // with `endCode`, unless an outcome was shown already: the first one
    // stands.
    void Conclude(UpdateConclusion conclusion, const std::string& text, UINT type, int endCode);
    // Sends the outstanding request, which was due at `due`.
    void SendTxFrame(PaceTime due);
    // Sends `frame` (sealed in place), issued at `issued` and due at `due`:
    // when it went out (SendPacer::FrameTimes), from which the spacing and
    // the repeat count, or nothing when the device is gone. A write the line did not take in
    // time is a send lost on the way. `answer` tells whether the reply may
    // equal the request, so that our own frame coming back on an echoing
    // line is told from it.
    std::optional<SendPacer::FrameTimes> SendFrameAt(std::uint8_t* frame, PaceTime due,
                                                     PaceTime issued, OwnEcho::Answer answer);
    // The request just taken from the queue becomes the outstanding one;
    // the one before it was a bootloader request of that operation, or none.
    void StartAwaiting(std::optional<std::uint8_t> previousLoaderOperation);
    // m_txFrame's header and payload.
    std::span<const std::uint8_t> OutstandingRequest() const;
    // While a request is outstanding: sends it again once its reply can no
    // longer be on the way, or arms the pace timer for that moment.
    void RepeatWhenDue();
    void OnReceiveGap();
    // Starts the 500 ms settle timer `timer` after a switch; one the system
    // refuses gives the link up, as nothing would ask for the status again.
    void StartSettleWait(UINT_PTR& timer);
    void OnEnterSettled();
    void OnLeaveSettled();
    void ConfigurePort(std::int32_t baudRate);
    // The rate the port listens at, in baud; 0 when unknown.
    std::uint32_t ListeningRate() const;

    // Replies (UpdateReplies.cpp).
    void OnFrame(std::span<const std::uint8_t> frame);
    void OnIdentifyReply(std::span<const std::uint8_t> frame);
    void OnInfoReply(std::span<const std::uint8_t> frame);
    // Reports the firmware read and what is done about it, and does it.
    void Decide(std::span<const std::uint8_t> frame);
    void BeginPass(bool verify);
    void OnStatusReply(std::span<const std::uint8_t> frame);
    void OnEnterStatus(bool bootloaderRuns);
    void OnLeaveStatus(bool bootloaderRuns);
    void OnLoaderReply(std::span<const std::uint8_t> frame);
    void OnSwitchAcknowledged(std::uint8_t signature);
    void OnImageResult(std::uint8_t result);
    // Verification is over with `result`, told by `resultText`; back to the
    // main program.
    void StartLeaving(UpdateConclusion result, const char* resultText);
    void ShowProgress();
    // From the decision on: bring the instrument into its bootloader.
    void StartEntering(bool sameDate);
    // True when `frame`, of the awaited command, answers the outstanding
    // request rather than an earlier one (ReplyMatching.h).
    bool AnswersOutstandingRequest(std::uint8_t command, std::span<const std::uint8_t> frame);

    // Requests that go unanswered (UpdateUnanswered.cpp).
    // True when the outstanding request will have waited long enough
    // (kUnansweredMs) by `at` to be given up, and another request was queued
    // in its place.
    bool ReplaceUnansweredRequest(PaceTime at);
    // The status asked in place of unanswered information requests.
    void OnResidentStatus(bool bootloaderRuns);
    // How long the outstanding request may go unanswered before it is
    // given up (UpdateUnanswered.cpp).
    PaceTime UnansweredWait() const;
    // Pump ticks without a reply taken after which the link is given up.
    std::int32_t WatchdogTicks() const;
    // The rates at which the status is asked in turn while entering or
    // leaving, where it goes unanswered; empty in the other phases.
    std::vector<std::int32_t> StatusRates() const;
    // The rate at which to ask for the status next while leaving, after the
    // port's current rate went unanswered.
    std::int32_t NextLeaveRate() const;
    // OnFrame, as the reassembler calls it.
    FrameReassembler::FrameHandler ReplyHandler();
};
