// The console operator of ziron7-cli: shows on the console what the dialogs
// show (the update's log lines in order, its progress, every message box,
// marked as a box) and acts for the person who is not there: presses OK
// once the search has found the instrument, answers the question about an
// instrument found in its bootloader by the --yes policy, and presses
// "Выход" when the user interrupts.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "ConsoleOperator.h"
#include "Verbosity.h"
#include "winapi_types.h"

class ConsoleReport final : public ConsoleOperator {
public:
    // Writes to `out` (not owned); `answerYes` answers every question Yes,
    // otherwise No. A terminal that interprets escape sequences gets one
    // updating progress line, anything else a line per 10 %. With a
    // `linePrefix` (a production line's "COM1: ") every line starts with it,
    // and the progress is a line per 10 % on a terminal too: several ports
    // share it. Each line is written whole, so the lines of several reports
    // on one stream never mix.
    ConsoleReport(std::FILE* out, bool answerYes, Verbosity verbosity, std::string linePrefix = {});

    void OnDialogStarted(CDialog& dialog) override;
    void OnControlChanged(CDialog& dialog, int controlId) override;
    int OnMessageBox(std::string_view text, UINT type) override;

    // The dialog's modal run has returned.
    void OnDialogEnded();
    // Ctrl+C or a request to terminate: ends the running dialog as "Выход"
    // does, and any dialog that would start afterwards; the run then exits
    // with `exitCode`. Called on the thread that runs this report's dialogs.
    void Interrupt(int exitCode);
    bool Interrupted() const { return m_interruptExitCode.has_value(); }
    int InterruptExitCode() const;
    // The result code of the open that failed, when the last port dialog
    // could not open its port.
    std::optional<LONG> PortOpenError() const { return m_portOpenError; }
    // Writes a line of the program's own (UTF-8): a note, shown unless
    // quiet, or a problem, shown always.
    void Note(std::string_view text);
    void Problem(std::string_view text);

private:
    void Line(std::string_view text);
    void ShowProgress(int position, const std::string& percent, const std::string& status);
    void ClearStatusLine();

    std::FILE* m_out;
    bool m_answerYes;
    Verbosity m_verbosity;
    std::string m_linePrefix;
    bool m_terminal;
    CDialog* m_current = nullptr;  // the dialog running now; not owned
    std::optional<int> m_interruptExitCode;  // set once interrupted
    std::optional<LONG> m_portOpenError;
    std::string m_lastStatus;  // the search's status line last shown
    bool m_statusLineShown = false;  // a terminal's updating line is on screen
    int m_logLinesShown = 0;
    int m_lastPosition = 0;
    int m_lastTenth = 0;  // the last 10 % step written, on anything but a terminal
};
