#include "ConsoleReport.h"

#include "CliLanguage.h"
#include "ExitCodes.h"
#include "DialogResults.h"
#include "PlatformMessageBox.h"
#include "PortDlg.h"
#include "PortOpenFailure.h"
#include "SerialCWnd.h"
#include "TerminalEscapes.h"
#include "UpdateDlg.h"

namespace {

constexpr const char* kBoxMark = "[box] ";
constexpr const char* kEraseLine = "\r\033[K";  // back to the start, erase to the end
constexpr int kPercentStep = 10;


std::string PortName(const CPortDlg& dialog) {
    return "COM" + std::to_string(dialog.m_nInitialPort.value_or(0) + 1);
}

}  // namespace

ConsoleReport::ConsoleReport(std::FILE* out, bool answerYes, Verbosity verbosity, std::string linePrefix)
    : m_out(out),
      m_answerYes(answerYes),
      m_verbosity(verbosity),
      m_linePrefix(std::move(linePrefix)),
      m_terminal(verbosity != Verbosity::Quiet && m_linePrefix.empty() && EnableTerminalEscapes(out)) {}

void ConsoleReport::OnDialogStarted(CDialog& dialog) {
    m_current = &dialog;
    if (Interrupted()) {
        PressDialogButton(dialog, IDCANCEL);
        return;
    }
    auto* search = dynamic_cast<CPortDlg*>(&dialog);
    if (search == nullptr) {
        return;
    }
    m_portOpenError.reset();
    if (!search->m_pSerial->IsOpen()) {
        // The dialog would wait for another choice of port; there is none.
        m_portOpenError = search->m_pSerial->LastError();
        const std::string note = DescribePortOpenFailure(PortName(*search), *m_portOpenError);
        // A busy port's note begins with what its status line says.
        Problem(note.starts_with(search->m_strStatus) ? note : search->m_strStatus + ": " + note);
        PressDialogButton(dialog, IDCANCEL);
    }
}

void ConsoleReport::OnControlChanged(CDialog& dialog, int) {
    if (auto* search = dynamic_cast<CPortDlg*>(&dialog)) {
        if (CControl* ok = search->GetDlgItem(IDOK); ok != nullptr && ok->IsWindowEnabled()) {
            PressDialogButton(dialog, IDOK);
        }
        if (search->m_strStatus.empty() || search->m_strStatus == m_lastStatus) {
            return;
        }
        m_lastStatus = search->m_strStatus;
        if (m_verbosity == Verbosity::Verbose) {
            Line(search->m_strStatus);
        } else if (m_terminal) {
            std::fprintf(m_out, "%s%s", kEraseLine, search->m_strStatus.c_str());
            std::fflush(m_out);
            m_statusLineShown = true;
        }
        return;
    }
    auto* update = dynamic_cast<CUpdateDlg*>(&dialog);
    if (update == nullptr || m_verbosity == Verbosity::Quiet) {
        return;
    }
    while (m_logLinesShown < update->m_ctlLog.GetItemCount()) {
        Line(update->m_ctlLog.GetItemText(m_logLinesShown++, 0));
    }
    if (const int position = update->m_ctlProgress.GetPos(); position != m_lastPosition) {
        ShowProgress(position, update->m_strPercent, update->m_strStatus);
    }
}

int ConsoleReport::OnMessageBox(std::string_view text, UINT type) {
    if (m_verbosity == Verbosity::Quiet) {
        return AsksYesNo(type) ? (m_answerYes ? IDYES : IDNO) : IDOK;
    }
    std::string_view rest = text;
    while (!rest.empty() && rest.back() == '\n') {
        rest.remove_suffix(1);
    }
    for (std::size_t end; (end = rest.find('\n')) != std::string_view::npos; rest.remove_prefix(end + 1)) {
        Line(kBoxMark + std::string(rest.substr(0, end)));
    }
    if (!AsksYesNo(type)) {
        Line(kBoxMark + std::string(rest));
        return IDOK;
    }
    Line(kBoxMark + std::string(rest) + (m_answerYes ? " -> Да" : " -> Нет"));
    return m_answerYes ? IDYES : IDNO;
}

void ConsoleReport::OnDialogEnded() {
    m_current = nullptr;
    // The next dialog starts with an empty log and bar.
    m_logLinesShown = 0;
    m_lastPosition = 0;
    m_lastTenth = 0;
    m_lastStatus.clear();
    ClearStatusLine();
}

void ConsoleReport::Interrupt(int exitCode) {
    if (Interrupted()) {
        return;
    }
    m_interruptExitCode = exitCode;
    Problem(Say("interrupted: ending the run as Выход does", "прервано: запуск завершается, как по кнопке Выход"));
    if (m_current != nullptr) {
        PressDialogButton(*m_current, IDCANCEL);
    }
}

int ConsoleReport::InterruptExitCode() const {
    return m_interruptExitCode.value_or(kExitInterrupted);
}

void ConsoleReport::Note(std::string_view text) {
    if (m_verbosity != Verbosity::Quiet) {
        Line(text);
    }
}

void ConsoleReport::Problem(std::string_view text) {
    Line(text);
}

void ConsoleReport::Line(std::string_view text) {
    ClearStatusLine();
    // A line that names its port already is not prefixed again.
    const char* prefix = text.starts_with(m_linePrefix) ? "" : m_linePrefix.c_str();
    std::fprintf(m_out, "%s%.*s\n", prefix, static_cast<int>(text.size()), text.data());
    std::fflush(m_out);
}

void ConsoleReport::ShowProgress(int position, const std::string& percent,
                                 const std::string& status) {
    if (position < m_lastPosition) {
        m_lastTenth = 0;  // a new write pass starts the bar again
    }
    m_lastPosition = position;
    if (m_terminal) {
        std::fprintf(m_out, "%s%s  %s", kEraseLine, percent.c_str(), status.c_str());
        std::fflush(m_out);
        m_statusLineShown = true;
        return;
    }
    if (position / kPercentStep > m_lastTenth) {
        m_lastTenth = position / kPercentStep;
        Line(std::string(Say("progress ", "выполнено ")) + percent + "  " + status);
    }
}

void ConsoleReport::ClearStatusLine() {
    if (m_statusLineShown) {
        std::fprintf(m_out, "%s", kEraseLine);
        m_statusLineShown = false;
    }
}
