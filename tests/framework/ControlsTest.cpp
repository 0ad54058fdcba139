// The controls the dialogs bind: the port list, the log, the progress bar.
#include <gmock/gmock.h>

#include <QComboBox>
#include <QTreeWidget>

#include "Controls.h"
#include "DialogIds.h"
#include "DialogResults.h"
#include "DialogTestSupport.h"

namespace {

// Runs `body` inside a running dialog of `templateId` whose controls are
// bound to the objects that `bind` names.
void InRunningDialog(UINT templateId, std::function<void(CDataExchange*)> bind,
                     std::function<void(ScriptedDialog&)> body) {
    ScriptedDialog dialog(templateId);
    dialog.exchange = std::move(bind);
    dialog.onInit = [&](ScriptedDialog& self) {
        body(self);
        self.EndDialog(IDOK);
    };
    dialog.DoModal();
}

TEST(ComboBox, OnlyTheOperatorsChoiceNotifiesTheDialog) {
    CComboBox ports;
    std::vector<int> notified;
    ScriptedDialog dialog(kPortDialog);
    dialog.exchange = [&](CDataExchange* dx) { DDX_Control(dx, kPortList, ports); };
    dialog.MapSelectionChanged(kPortList, [&] { notified.push_back(ports.GetCurSel()); });
    dialog.onInit = [&](ScriptedDialog& self) {
        EXPECT_EQ(ports.AddString("COM1"), 0);
        EXPECT_EQ(ports.AddString("COM2"), 1);
        EXPECT_EQ(ports.AddString("COM3"), 2);
        EXPECT_EQ(ports.GetCurSel(), CB_ERR);  // adding selects nothing
        EXPECT_EQ(ports.SetCurSel(0), 0);
        EXPECT_EQ(ports.SetCurSel(3), CB_ERR);
        EXPECT_EQ(ports.GetCurSel(), 0);
        WhenRunning([&] {
            ControlWidget<QComboBox>(kPortDialog, kPortList)->setCurrentIndex(2);
            self.EndDialog(IDOK);
        });
    };
    dialog.DoModal();
    EXPECT_THAT(notified, testing::ElementsAre(2));
}

TEST(ComboBox, EntriesByIndex) {
    CComboBox ports;
    InRunningDialog(
        kPortDialog, [&](CDataExchange* dx) { DDX_Control(dx, kPortList, ports); },
        [&](ScriptedDialog&) {
            ports.AddString("COM1");
            ports.AddString("COM255");
            std::string text = "unchanged";
            EXPECT_EQ(ports.GetLBText(1, text), 6);
            EXPECT_EQ(text, "COM255");
            EXPECT_EQ(ports.GetLBText(2, text), CB_ERR);
            EXPECT_EQ(ports.GetLBText(-1, text), CB_ERR);
            EXPECT_EQ(text, "COM255");
            EXPECT_EQ(ports.GetCount(), 2);
        });
    EXPECT_EQ(ports.AddString("COM3"), CB_ERR);  // loose after the run
}

TEST(ListCtrl, RowsAndColumns) {
    CListCtrl log;
    InRunningDialog(
        kUpdateDialog, [&](CDataExchange* dx) { DDX_Control(dx, kLog, log); },
        [&](ScriptedDialog&) {
            EXPECT_EQ(log.InsertColumn(0, "", LVCFMT_LEFT, 600), 0);
            EXPECT_EQ(log.InsertItem(0, "Зирон-7 найден. Скорость 9600"), 0);
            EXPECT_EQ(log.InsertItem(1, "Серийный номер 12345. Дата выпуска 7/2011"), 1);
            EXPECT_EQ(log.InsertItem(0, "first"), 0);
            EXPECT_EQ(log.InsertItem(99, "last"), 3);  // past the end: appended
            EXPECT_EQ(log.GetItemCount(), 4);
            EXPECT_EQ(log.GetItemText(1, 0), "Зирон-7 найден. Скорость 9600");
            EXPECT_EQ(log.GetItemText(3, 0), "last");
            EXPECT_EQ(log.GetItemText(4, 0), "");
            EXPECT_EQ(log.GetItemText(0, 1), "");
            auto* list = ControlWidget<QTreeWidget>(kUpdateDialog, kLog);
            EXPECT_EQ(list->columnWidth(0), 600);
        });
}

TEST(ProgressCtrl, PositionStaysInItsRange) {
    CProgressCtrl progress;
    InRunningDialog(
        kUpdateDialog, [&](CDataExchange* dx) { DDX_Control(dx, kProgress, progress); },
        [&](ScriptedDialog&) {
            progress.SetRange(0, 100);
            EXPECT_EQ(progress.SetPos(50), 0);
            EXPECT_EQ(progress.SetPos(150), 50);
            EXPECT_EQ(progress.GetPos(), 100);
            EXPECT_EQ(progress.SetPos(-3), 100);
            EXPECT_EQ(progress.GetPos(), 0);
        });
}

}  // namespace
