#include "MessageBox.h"

#include "PlatformMessageBox.h"

#include "SessionEvents.h"

namespace {

MessageBoxOperator* g_operator = nullptr;  // the installed stand-in, if any

}  // namespace

int AfxMessageBox(std::string_view text, UINT type) {
    CurrentSession().OnMessageBox(text);
    if (g_operator != nullptr) {
        return g_operator->Answer(text, type);
    }
    return ShowMessageBox(text, type);
}

MessageBoxOperator::MessageBoxOperator(int answerDelayMs)
    : m_answerDelayMs(answerDelayMs), m_previous(g_operator) {
    g_operator = this;
}

MessageBoxOperator::~MessageBoxOperator() {
    g_operator = m_previous;
}

int MessageBoxOperator::Answer(std::string_view text, UINT type) {
    m_shown.push_back({std::string(text), type});
    if (m_answerDelayMs > 0) {
        KeepEventsRunningFor(m_answerDelayMs);
    }
    return AsksYesNo(type) ? m_yesNoAnswer : IDOK;
}
