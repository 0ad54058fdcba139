// Message boxes for the operator: the text, an icon chosen by the type, the
// application's title as the caption, and an OK button.
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

// Shows `text` (UTF-8; "\n" breaks lines) with the icon `type` names
// (MB_OK: none, MB_ICONSTOP, MB_ICONINFORMATION) and returns IDOK once the operator
// has closed the box. Runs on the user-interface thread.
int AfxMessageBox(std::string_view text, UINT type = MB_OK);

// A box as the operator saw it.
struct ShownMessage {
    std::string text;
    UINT type;
};

// Stands in for the operator while it exists: every AfxMessageBox is recorded
// here instead of being shown, and answered with IDOK after `answerDelayMs`
// milliseconds, during which a nested event loop keeps timers and posted
// events running. With a delay of 0 it answers at once. Operators nest: the
// latest one constructed answers, and its destruction reinstates the one
// before. Lives on the user-interface thread.
class MessageBoxOperator {
public:
    explicit MessageBoxOperator(int answerDelayMs = 0);
    ~MessageBoxOperator();
    MessageBoxOperator(const MessageBoxOperator&) = delete;
    MessageBoxOperator& operator=(const MessageBoxOperator&) = delete;

    void SetAnswerDelay(int answerDelayMs) { m_answerDelayMs = answerDelayMs; }
    const std::vector<ShownMessage>& Shown() const { return m_shown; }

    // Called by AfxMessageBox: records the box, waits, answers.
    int Answer(std::string_view text, UINT type);

private:
    int m_answerDelayMs;
    std::vector<ShownMessage> m_shown;
    MessageBoxOperator* m_previous;
};
