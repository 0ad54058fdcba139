// A dialog on any template whose start-up, data exchange and timer ticks a
// test supplies; it holds no toolkit types, so the tests of every backend
// use it.
#pragma once

#include <functional>
#include <vector>

#include "Dialog.h"

class ScriptedDialog : public CDialog {
public:
    explicit ScriptedDialog(UINT templateId) : CDialog(templateId) {}

    std::function<void(ScriptedDialog&)> onInit;
    std::function<void(CDataExchange*)> exchange;
    std::function<void(ScriptedDialog&, UINT_PTR)> onTimer;
    std::vector<UINT_PTR> ticks;

    // The protected services, opened up for the tests.
    using CDialog::MapButtonClicked;
    using CDialog::MapMessage;
    using CDialog::MapSelectionChanged;
    using CDialog::OnCancel;
    using CDialog::OnOK;

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (onInit) {
            onInit(*this);
        }
        return TRUE;
    }
    void DoDataExchange(CDataExchange* dx) override {
        if (exchange) {
            exchange(dx);
        }
    }
    void OnTimer(UINT_PTR id) override {
        ticks.push_back(id);
        if (onTimer) {
            onTimer(*this, id);
        }
        CDialog::OnTimer(id);
    }
};
