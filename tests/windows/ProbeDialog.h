// A dialog for the Win32 tests: runs any template, binds the controls that
// the program's dialogs bind (those the template lacks stay loose), and
// hands itself to the test once its window exists and on each timer tick.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "Controls.h"
#include "DataExchange.h"
#include "Dialog.h"

// The ids the program's templates give their controls.
inline constexpr int kPortListId = 1147;
inline constexpr int kPortStatusId = 1153;
inline constexpr int kUpdateLogId = 1197;
inline constexpr int kUpdateBarId = 1164;

class ProbeDialog : public CDialog {
public:
    using Look = std::function<void(ProbeDialog&)>;
    using Tick = std::function<void(ProbeDialog&, UINT_PTR id)>;

    ProbeDialog(UINT templateId, Look onStart, Tick onTick = {})
        : CDialog(templateId), m_onStart(std::move(onStart)), m_onTick(std::move(onTick)) {}

    using CDialog::MapMessage;

    CButton m_ok;
    CComboBox m_ports;
    CStatic m_status;
    CListCtrl m_log;
    CProgressCtrl m_bar;
    std::string m_strStatus;

protected:
    void DoDataExchange(CDataExchange* exchange) override {
        DDX_Control(exchange, IDOK, m_ok);
        DDX_Control(exchange, kPortListId, m_ports);
        DDX_Control(exchange, kPortStatusId, m_status);
        DDX_Text(exchange, kPortStatusId, m_strStatus);
        DDX_Control(exchange, kUpdateLogId, m_log);
        DDX_Control(exchange, kUpdateBarId, m_bar);
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        m_onStart(*this);
        return TRUE;
    }
    void OnTimer(UINT_PTR id) override {
        if (m_onTick) {
            m_onTick(*this, id);
        }
    }

private:
    Look m_onStart;
    Tick m_onTick;
};
