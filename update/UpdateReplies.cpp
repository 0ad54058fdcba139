// The receiving side of the update dialog: every reply that passes its
// checksum, and the phase machine that the replies drive.
#include <algorithm>

#include "AccessCode.h"
#include "BuildDate.h"
#include "CommandSet.h"
#include "FirmwareImage.h"
#include "FormatText.h"
#include "MessageBox.h"
#include "ReplyReceiver.h"
#include "SerialCWnd.h"
#include "SessionEvents.h"
#include "UpdateDlg.h"
#include "UpdateMessages.h"
#include "UpdateProgress.h"

namespace {

// Status replies showing the wrong program: entering has this many, and
// leaving as many again, so that switches spent on the way in never keep an
// instrument that has been written from returning to its main program.
constexpr std::uint8_t kLoaderTries = 10;
// Switches into the bootloader that go unanswered: a marginal line at the
// main program's rate loses some, and the noise that loses them spoils
// others too, so they get twice the tries of a refusal.
constexpr std::uint8_t kLostSwitchTries = 2 * kLoaderTries;
// Verified passes before the update is given up.
constexpr std::uint8_t kMaxVerifyFailures = 5;

// The payload of an information request: one step number.
bool IsInformationStepAlone(std::span<const std::uint8_t> payload) {
    return payload.size() == 1 && payload[0] <= kInfoStepIdentity;
}

constexpr const char* kDeviceTimeFormat = "%d/%m/%Y %H:%M:%S";
constexpr const char* kSucceededText = "Обновление микропрограммы прошло УСПЕШНО";
constexpr const char* kFailedText =
    "Обновление прошло НЕУСПЕШНО - рекомендуется обраться в сервисный центр";

// The outcome of a verification alone that found a difference.
constexpr const char* kDiffersText = "Микропрограмма в приборе отличается от обновления";

}  // namespace

LRESULT CUpdateDlg::OnPortEvent(WPARAM wParam, LPARAM) {
    if ((NotifiedEvents(wParam) & kLineLostEvent) != 0) {
        GiveUpLink();
        return 0;
    }
    if ((NotifiedEvents(wParam) & EV_RXCHAR) == 0) {
        return 0;
    }
    const std::size_t checksumFailures = m_rx.ChecksumFailures();
    ReceiveReplies(ReceiveCause::CharactersArrived, *m_pSerial, m_rx, m_echo, ReplyHandler(),
                   *this, m_nRxTimer);
    AfterReceiving(checksumFailures);
    return 0;
}

void CUpdateDlg::OnFrame(std::span<const std::uint8_t> frame) {
    if (m_bConcluded) {
        return;  // the outcome is shown; nothing more is read
    }
    const std::uint8_t command = ReplyCommand(frame);
    // The information asked before a detour to the status is still
    // answered: an instrument slower than the detour's 500 ms has not fallen
    // silent, and its answer ends the detour.
    const bool informationAfterAll =
        m_nPhase == PHASE_INFO && m_bAskingResidentStatus && command == CMD_INFO;
    if (!informationAfterAll && (m_nAwaitedCmd == 0 || command != m_nAwaitedCmd)) {
        return;
    }
    if (!AnswersOutstandingRequest(command, frame)) {
        return;
    }
    // Only a reply taken for the outstanding request feeds the watchdog: a
    // line that carries frames without answers moves nothing on.
    m_nTicks = 0;
    m_nAwaitedCmd = 0;
    m_nUnansweredRates = 0;
    m_bReplyTaken = true;
    if (informationAfterAll) {
        // The status asked meanwhile is given up unanswered: its replies may
        // still come, and the pacer counts them as such.
        m_bAskingResidentStatus = false;
        m_queue.Clear();
    } else {
        m_pacer.ReplyTaken(PaceNow());
    }
    m_bNextFollowsReply = true;
    if (command == CMD_STATUS) {
        if (const auto asked = m_statusAskedSince.find(ListeningRate());
            asked != m_statusAskedSince.end()) {
            m_tStatusLateness = PaceNow() - asked->second;
        }
        m_statusAskedSince.clear();
    }
    switch (command) {
        case CMD_IDENTIFY:
            OnIdentifyReply(frame);
            break;
        case CMD_STATUS:
            OnStatusReply(frame);
            break;
        case CMD_INFO:
            OnInfoReply(frame);
            break;
        case CMD_LOADER:
            OnLoaderReply(frame);
            break;
        default:
            break;
    }
}

bool CUpdateDlg::AnswersOutstandingRequest(std::uint8_t command,
                                           std::span<const std::uint8_t> frame) {
    switch (command) {
        case CMD_LOADER:
            if (!m_loaderMatcher.Answers(OutstandingRequest(), frame,
                                        m_pacer.CopyMayArrive(PaceNow(), CMD_LOADER, ListeningRate()))) {
                return false;
            }
            m_loaderMatcher.Taken(frame);
            return true;
        case CMD_INFO:
            // Our own request come back later than its echo (a line that
            // doubles what it returns, a busy PC reading it late), this
            // step's or an earlier one's: every answer is a text or the
            // identity, never a step alone.
            if (IsInformationStepAlone(ReplyPayload(frame)) ||
                m_infoFilter.IsLateCopy(ReplyPayload(frame))) {
                return false;
            }
            m_infoFilter.Taken(ReplyPayload(frame));
            return true;
        case CMD_STATUS:
            // A status reply names no request: while a late copy of an
            // earlier one may come, it may tell of the program that ran
            // before a switch, and a switch sent on its word toggles the
            // instrument back. The request is held until its own reply can
            // only come after such copies (NextFrameDue). A reply without
            // its status byte tells nothing. Either way the request stays
            // outstanding and is repeated.
            return !m_pacer.CopyMayArrive(PaceNow(), CMD_STATUS, ListeningRate()) &&
                   DecodeStatusReply(frame).has_value();
        case CMD_IDENTIFY:
            // Our keep-alive come back later than its echo names no device:
            // only a reply with the type byte tells which one answers.
            return !ReplyPayload(frame).empty();
        default:
            return true;
    }
}

void CUpdateDlg::OnIdentifyReply(std::span<const std::uint8_t> frame) {
    const std::span<const std::uint8_t> payload = ReplyPayload(frame);
    if (!payload.empty() && payload[0] == kZiron7DeviceType) {
        return;
    }
    Conclude(UpdateConclusion::ForeignDevice, "На линии связи не Зирон-7", MB_OK, IDCANCEL);
}

void CUpdateDlg::OnInfoReply(std::span<const std::uint8_t> frame) {
    switch (m_nInfoStep) {
        case kInfoStepDate:
            m_strDeviceDate = DecodeInfoText(frame, kBuildDateTextLength);
            break;
        case kInfoStepTime:
            m_strDeviceTime = DecodeInfoText(frame, kBuildTimeTextLength);
            break;
        default:
            Decide(frame);
            break;
    }
    if (m_nInfoStep < kInfoStepIdentity) {
        ++m_nInfoStep;
        QueueInfoRequest();
    }
}

void CUpdateDlg::Decide(std::span<const std::uint8_t> frame) {
    // A reply too short for its fields shows zeros; they are only logged.
    const std::optional<FirmwareIdentityReply> read = DecodeFirmwareIdentityReply(frame);
    const FirmwareIdentityReply identity = read.value_or(FirmwareIdentityReply{0, 0, 0});
    std::time_t deviceTime = PresetBuildTime();
    // A text that does not parse leaves the preset, so any image built
    // since is written.
    ParseBuildDate(m_strDeviceDate, m_strDeviceTime, deviceTime);
    CurrentSession().OnFirmwareRead({m_strDeviceDate, m_strDeviceTime, read.has_value(),
                                     identity.deviceType, identity.version,
                                     identity.reprogrammings});
    AddLogLine(FormatText("Версия программы в приборе №%d от %s", identity.version,
                          FormatLocalTime(deviceTime, kDeviceTimeFormat).c_str()));
    AddLogLine(FormatText("Тип %d Число перепрошивок %d", identity.deviceType,
                          static_cast<int>(identity.reprogrammings)));

    if (m_nPurpose == PURPOSE_IDENTIFY) {
        CurrentSession().OnUpdateDecided(UpdateDecision::IdentifyOnly);
        OnOK();
        return;
    }
    if (m_nPurpose == PURPOSE_VERIFY) {
        // The flash is compared with the image, whichever build is later.
        CurrentSession().OnUpdateDecided(UpdateDecision::VerifyOnly);
        StartEntering(true);
        return;
    }
    const std::time_t imageTime = m_pImage->GetBuildTime();
    if (imageTime < deviceTime) {
        CurrentSession().OnUpdateDecided(UpdateDecision::RefuseLater);
        AddLogLine("Версия программы в приборе позже чем обновление");
        AddLogLine("Обновление не целесообразно");
        Conclude(UpdateConclusion::RefusedLater,
                 "Версия программы в приборе позже чем обновление\nОбновление не целесообразно",
                 MB_ICONINFORMATION, IDOK);
        return;
    }
    const bool sameDate = imageTime == deviceTime;
    CurrentSession().OnUpdateDecided(sameDate ? UpdateDecision::VerifySameDate : UpdateDecision::Write);
    if (sameDate) {
        AddLogLine("Дата микропрограммы в устройстве совпадает с обновляемой");
    }
    StartEntering(sameDate);
}

void CUpdateDlg::StartEntering(bool sameDate) {
    m_nPhase = PHASE_ENTER;
    m_nLoaderTries = kLoaderTries;
    m_nUnansweredSwitchTries = kLostSwitchTries;
    QueueStatusRequest();
    m_bSameDate = sameDate;
}

void CUpdateDlg::OnStatusReply(std::span<const std::uint8_t> frame) {
    const bool askedResident = m_nPhase == PHASE_INFO && m_bAskingResidentStatus;
    if (m_nPhase != PHASE_ENTER && m_nPhase != PHASE_LEAVE && !askedResident) {
        return;
    }
    // Taken only with its status byte (AnswersOutstandingRequest).
    const bool bootloaderRuns = DecodeStatusReply(frame).value_or(false);
    if (askedResident) {
        OnResidentStatus(bootloaderRuns);
    } else if (m_nPhase == PHASE_ENTER) {
        OnEnterStatus(bootloaderRuns);
    } else {
        OnLeaveStatus(bootloaderRuns);
    }
}

void CUpdateDlg::OnEnterStatus(bool bootloaderRuns) {
    const bool switchUnanswered = m_bSwitchUnanswered;
    m_bSwitchUnanswered = false;
    if (bootloaderRuns) {
        AddLogLine("В загрузчике");
        m_bEntryPending = false;
        BeginPass(m_bSameDate);
        return;
    }
    // A switch lost on the line is sent again without a try spent: the
    // instrument has not refused it. Lost ones have a countdown of their own.
    std::uint8_t& tries = switchUnanswered ? m_nUnansweredSwitchTries : m_nLoaderTries;
    if (--tries == 0) {
        Conclude(UpdateConclusion::CannotEnterLoader, kCannotEnterLoaderText, MB_OK, IDCANCEL);
        return;
    }
    // The main program hears the switch only at its own rate.
    ConfigurePort(m_nDeviceBaud);
    m_bEntryPending = true;
    QueueSwitchToLoader();
}

void CUpdateDlg::OnLeaveStatus(bool bootloaderRuns) {
    if (!bootloaderRuns) {
        AddLogLine("Переход завершён");
        m_nPhase = PHASE_DONE;
        Conclude(m_nResult, m_strResult, m_bSuccess ? MB_OK : MB_ICONSTOP, IDOK);
        return;
    }
    if (--m_nLoaderTries == 0) {
        Conclude(UpdateConclusion::CannotLeaveLoader, kCannotLeaveLoaderText, MB_OK, IDOK);
        return;
    }
    ConfigurePort(kBootloaderBaud);
    QueueSwitchToMain();
    StartSettleWait(m_nLeaveTimer);
}

void CUpdateDlg::OnLoaderReply(std::span<const std::uint8_t> frame) {
    if (const std::optional<std::uint8_t> signature = DecodeSwitchAcknowledgement(frame);
        signature && m_bEntryPending) {
        OnSwitchAcknowledged(*signature);
        return;
    }
    OnImageResult(m_pImage->OnReply(frame));
}

void CUpdateDlg::OnSwitchAcknowledged(std::uint8_t signature) {
    if (signature != kAccessCode[0]) {
        Conclude(UpdateConclusion::BadSignature, "Неверна сигнатура блока - несовместимая версия!",
                 MB_OK, IDOK);
        return;
    }
    // From here on the instrument talks at the bootloader's rate.
    ConfigurePort(kBootloaderBaud);
    AddLogLine("Переход в загрузчик...");
    StartSettleWait(m_nEnterTimer);
}

void CUpdateDlg::BeginPass(bool verify) {
    std::uint8_t result;
    if (verify) {
        m_nPhase = PHASE_VERIFY;
        result = m_pImage->BeginVerify();
    } else {
        m_nPhase = PHASE_WRITE;
        result = m_pImage->BeginWrite();
    }
    if (result == IMAGE_FRAME_READY) {
        QueueImageFrame();
    }
}

void CUpdateDlg::OnImageResult(std::uint8_t result) {
    switch (result) {
        case IMAGE_FRAME_READY:
            ShowProgress();
            QueueImageFrame();
            break;
        case IMAGE_WRITE_COMPLETE:
            AddLogLine("Завершена запись FLASH");
            BeginPass(true);
            break;
        case IMAGE_VERIFY_PASSED:
            CurrentSession().OnVerification(true);
            StartLeaving(UpdateConclusion::Succeeded, kSucceededText);
            break;
        case IMAGE_VERIFY_FAILED:
            CurrentSession().OnVerification(false);
            AddLogLine("Проверка микропрограммы НЕУСПЕШНА - ошибка проверки данных");
            FallBackToDefaultPace(kVerifyFailureSlowsText);
            if (m_nPurpose == PURPOSE_VERIFY) {
                ++m_nVerifyFailures;
                StartLeaving(UpdateConclusion::Differs, kDiffersText);
            } else if (++m_nVerifyFailures < kMaxVerifyFailures) {
                AddLogLine(FormatText("Попытка перепрограммирования №%d", m_nVerifyFailures + 1));
                BeginPass(false);
            } else {
                StartLeaving(UpdateConclusion::VerifyFailed, kFailedText);
            }
            break;
        default:
            Conclude(UpdateConclusion::ImageError, FormatText("Ошибка в EXE файле! %d", result), MB_OK,
                     IDOK);
            break;
    }
}

void CUpdateDlg::StartLeaving(UpdateConclusion result, const char* resultText) {
    m_bSuccess = result == UpdateConclusion::Succeeded;
    m_nResult = result;
    m_strResult = resultText;
    AddLogLine(m_strResult);
    m_nPhase = PHASE_LEAVE;
    m_nLoaderTries = kLoaderTries;
    AddLogLine("Переход в основную программу...");
    QueueStatusRequest();
}

void CUpdateDlg::ShowProgress() {
    UpdateData(TRUE);
    const bool writing = m_nPhase == PHASE_WRITE;
    const ProgressFigure figure =
        ComputeProgress(m_pImage->GetPosition(), m_pImage->GetEndValue(), !writing);
    m_strStatus = FormatText(writing ? "Запись по адресу %d" : "Проверка по адресу %d",
                             static_cast<int>(m_pImage->GetPosition()));
    m_strPercent = figure.text;
    UpdateData(FALSE);
    m_ctlProgress.SetPos(figure.barPosition);
}
