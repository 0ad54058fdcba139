// Message boxes for the operator: the text, an icon chosen by the type, the
// application's title as the caption, and an OK button, or Yes and No with
// Yes the default.
//
// While a box waits for the operator, timers and posted port notifications
// keep being delivered (a nested event loop), exactly as under a dialog: the
// code that opened the box resumes only once it is closed.
//
// Tests install a MessageBoxOperator in place of a person: it records every
// box and answers after a chosen delay, without a display.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "DialogResults.h"
#include "winapi_types.h"

// Shows `text` (UTF-8; "\n" breaks lines) with the buttons and the icon that
// `type` names (MB_OK or MB_YESNO; no icon, MB_ICONSTOP or MB_ICONINFORMATION)
// and returns, once the operator has closed the box, IDOK, or for MB_YESNO
// IDYES or IDNO (closing the box without choosing is No). Runs on the
// user-interface thread.
int AfxMessageBox(std::string_view text, UINT type = MB_OK);

// A box as the operator saw it.
struct ShownMessage {
    std::string text;
    UINT type;
};

// Stands in for the operator while it exists: every AfxMessageBox is recorded
// here instead of being shown, and answered after `answerDelayMs`
// milliseconds (IDOK, or for a Yes/No box the answer chosen, Yes unless told), during which a
// nested event loop keeps timers and posted events running. With a delay of 0 it answers at once.
// Operators nest: the latest one constructed answers, and its destruction reinstates the one
// before. Lives on the user-interface thread.
class MessageBoxOperator {
public:
    explicit MessageBoxOperator(int answerDelayMs = 0);
    ~MessageBoxOperator();
    MessageBoxOperator(const MessageBoxOperator&) = delete;
    MessageBoxOperator& operator=(const MessageBoxOperator&) = delete;

    void SetAnswerDelay(int answerDelayMs) { m_answerDelayMs = answerDelayMs; }
    // IDYES or IDNO, for every Yes/No box from now on.
    void SetYesNoAnswer(int answer) { m_yesNoAnswer = answer; }
    const std::vector<ShownMessage>& Shown() const { return m_shown; }

    // Called by AfxMessageBox: records the box, waits, answers.
    int Answer(std::string_view text, UINT type);

private:
    int m_answerDelayMs;
    int m_yesNoAnswer = IDYES;
    std::vector<ShownMessage> m_shown;
    MessageBoxOperator* m_previous;
};
