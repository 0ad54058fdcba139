// The dialog base: how a modal run ends, Enter and Esc, data exchange, the
// geometry of templates in dialog units, and posted messages.
#include <gmock/gmock.h>

#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <atomic>
#include <thread>

#include "Controls.h"
#include "DialogIds.h"
#include "DialogResults.h"
#include "DialogTestSupport.h"
#include "winapi_user.h"

namespace {

struct EndingCase {
    const char* name;
    UINT templateId;
    std::function<void(ScriptedDialog&)> operatorAction;
    int expected;
};

class DialogEnding : public testing::TestWithParam<EndingCase> {};

TEST_P(DialogEnding, ReturnsTheCodeOfHowItEnded) {
    const EndingCase& c = GetParam();
    ScriptedDialog dialog(c.templateId);
    dialog.onInit = [&](ScriptedDialog& self) { WhenRunning([&] { c.operatorAction(self); }); };
    EXPECT_EQ(dialog.DoModal(), c.expected);
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Framework, DialogEnding,
    testing::Values(EndingCase{"Esc", kAboutBox,
                               [](ScriptedDialog&) {
                                   PressKey(RunningDialogWindow(kAboutBox), Qt::Key_Escape);
                               },
                               IDCANCEL},
                    EndingCase{"CloseBox", kAboutBox,
                               [](ScriptedDialog&) { RunningDialogWindow(kAboutBox)->close(); },
                               IDCANCEL},
                    EndingCase{"EnterOnEnabledDefault", kAboutBox,
                               [](ScriptedDialog&) {
                                   PressKey(RunningDialogWindow(kAboutBox), Qt::Key_Return);
                               },
                               IDOK},
                    EndingCase{"ClickOnExit", kPortDialog,
                               [](ScriptedDialog&) {
                                   ControlWidget<QPushButton>(kPortDialog, IDCANCEL)->click();
                               },
                               IDCANCEL},
                    EndingCase{"EndDialogWithOtherCode", kPortDialog,
                               [](ScriptedDialog& dialog) { dialog.EndDialog(5); }, 5}),
    [](const testing::TestParamInfo<EndingCase>& param) { return std::string(param.param.name); });

TEST(Dialog, EndingDuringStartUpNeverShowsTheWindow) {
    ScriptedDialog dialog(kAboutBox);
    bool shown = false;
    dialog.onInit = [&](ScriptedDialog& self) {
        self.EndDialog(5);
        WhenRunning([&] { shown = true; });
    };
    EXPECT_EQ(dialog.DoModal(), 5);
    EXPECT_FALSE(shown);
}

TEST(Dialog, UnknownTemplateFailsWithoutShowing) {
    ScriptedDialog dialog(999);
    EXPECT_EQ(dialog.DoModal(), -1);
}

TEST(Dialog, EnterPressesTheDefaultButtonOnlyWhileItIsEnabled) {
    ScriptedDialog dialog(kPortDialog);  // its OK starts disabled
    int okPresses = 0;
    dialog.MapButtonClicked(IDOK, [&] {
        ++okPresses;
        dialog.OnOK();
    });
    dialog.onInit = [&](ScriptedDialog& self) {
        WhenRunning([&] {
            QWidget* window = RunningDialogWindow(kPortDialog);
            ControlWidget<QComboBox>(kPortDialog, kPortList)->setFocus();
            PressKey(window, Qt::Key_Return);
            EXPECT_EQ(okPresses, 0);
            EXPECT_EQ(self.GetDlgItem(IDOK)->EnableWindow(TRUE), TRUE);  // it was disabled
            PressKey(window, Qt::Key_Enter);
        });
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(okPresses, 1);
}

TEST(Dialog, MappedButtonRunsItsHandlerAndTheDialogGoesOn) {
    ScriptedDialog dialog(kPortDialog);
    int helpPresses = 0;
    dialog.MapButtonClicked(kHelpButton, [&] { ++helpPresses; });
    dialog.onInit = [&](ScriptedDialog& self) {
        WhenRunning([&] {
            ControlWidget<QPushButton>(kPortDialog, kHelpButton)->click();
            ControlWidget<QPushButton>(kPortDialog, kHelpButton)->click();
            self.EndDialog(IDCANCEL);
        });
    };
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(helpPresses, 2);
}

TEST(Dialog, DataExchangeRunsBothWaysAndBoundControlsComeLooseAfterTheRun) {
    ScriptedDialog dialog(kAboutBox);
    std::string version = "Версия 1.0 от 05/03/2012 09:04:07";
    CStatic versionLine;
    dialog.exchange = [&](CDataExchange* dx) {
        DDX_Control(dx, kVersionLine, versionLine);
        DDX_Text(dx, kVersionLine, version);
    };
    std::string shownAtStart;
    dialog.onInit = [&](ScriptedDialog&) {
        shownAtStart = versionLine.GetWindowText();
        WhenRunning([&] {
            ControlWidget<QLabel>(kAboutBox, kVersionLine)->setText(QStringLiteral("Неизвестно"));
            PressKey(RunningDialogWindow(kAboutBox), Qt::Key_Return);  // OnOK takes the data
        });
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(shownAtStart, "Версия 1.0 от 05/03/2012 09:04:07");
    EXPECT_EQ(version, "Неизвестно");
    EXPECT_EQ(versionLine.GetItem(), nullptr);
    EXPECT_EQ(versionLine.GetWindowText(), "");
    EXPECT_EQ(versionLine.EnableWindow(TRUE), FALSE);
}

TEST(Dialog, CaptionAndServicesNeedARunningWindow) {
    ScriptedDialog dialog(kAboutBox);
    EXPECT_EQ(dialog.UpdateData(FALSE), FALSE);
    EXPECT_EQ(dialog.GetDlgItem(IDOK), nullptr);
    std::string caption;
    dialog.onInit = [&](ScriptedDialog& self) {
        caption = self.GetWindowText();
        self.SetWindowText("Обновление программы Зирон-7 до версии №3 от 01/02/2012");
        WhenRunning([&] {
            caption += "|" + RunningDialogWindow(kAboutBox)->windowTitle().toStdString();
            self.EndDialog(IDOK);
        });
    };
    dialog.DoModal();
    EXPECT_EQ(caption, "Информация|Обновление программы Зирон-7 до версии №3 от 01/02/2012");
}

// The port dialog's template in pixels: 6 x 13 base units, whatever font
// stands in for "MS Sans Serif" on this machine.
TEST(Dialog, TemplatesAreLaidOutInDialogUnitsOfTheirFont) {
    ScriptedDialog dialog(kPortDialog);
    QRect ok;
    QRect combo;
    QSize client;
    int logColumn = 0;
    dialog.onInit = [&](ScriptedDialog& self) {
        WhenRunning([&] {
            // The update dialog's log column, 400 units: 600 pixels as ever.
            logColumn = self.DialogUnitsToPixelsX(400);
            client = RunningDialogWindow(kPortDialog)->size();
            ok = ControlWidget<QPushButton>(kPortDialog, IDOK)->geometry();
            combo = ControlWidget<QComboBox>(kPortDialog, kPortList)->geometry();
            self.EndDialog(IDCANCEL);
        });
    };
    dialog.DoModal();
    EXPECT_EQ(client, QSize(431, 115));          // 287 x 71 units
    EXPECT_EQ(ok, QRect(345, 16, 75, 23));       // 230, 10, 50, 14
    EXPECT_EQ(combo.topLeft(), QPoint(24, 50));  // 16, 31
    EXPECT_EQ(combo.width(), 89);                // 59
    EXPECT_EQ(logColumn, 600);
}

// A status text longer than its line shows its further lines in the free
// room below it, inside its frame, and never over the control below it.
TEST(Dialog, LongStaticTextsGrowIntoTheFreeRoomBelowThem) {
    const std::string longStatus =
        "Найдено неизвестное устройство (Не есть Зирон-7). Скорость 115200";
    ScriptedDialog port(kPortDialog);
    QRect status;
    QRect frame;
    port.onInit = [&](ScriptedDialog& self) {
        self.GetDlgItem(kStatusLine)->SetWindowText(longStatus);
        status = ControlWidget<QLabel>(kPortDialog, kStatusLine)->geometry();
        frame = RunningDialogWindow(kPortDialog)->findChild<QGroupBox*>()->geometry();
        self.GetDlgItem(kStatusLine)->SetWindowText("Порт COM1 доступен");
        EXPECT_EQ(ControlWidget<QLabel>(kPortDialog, kStatusLine)->height(), 16);  // 10 units
        self.EndDialog(IDCANCEL);
    };
    port.DoModal();
    EXPECT_EQ(status.topLeft(), QPoint(125, 54));  // 83, 33 units
    EXPECT_GE(status.height(), 2 * 13);
    EXPECT_LT(status.bottom(), frame.bottom());

    ScriptedDialog about(kAboutBox);
    int versionBottom = 0;
    int windowHeight = 0;
    about.onInit = [&](ScriptedDialog& self) {
        self.GetDlgItem(kVersionLine)->SetWindowText(longStatus + " " + longStatus);
        versionBottom = ControlWidget<QLabel>(kAboutBox, kVersionLine)->geometry().bottom();
        windowHeight = RunningDialogWindow(kAboutBox)->height();
        self.EndDialog(IDOK);
    };
    about.DoModal();
    EXPECT_LT(versionBottom, windowHeight);
}

class ListeningDialog : public ScriptedDialog {
public:
    static constexpr UINT kMessage = 0xC123;
    ListeningDialog() : ScriptedDialog(kAboutBox) {
        MapMessage(kMessage, [this](WPARAM wParam, LPARAM lParam) {
            received.push_back({wParam, lParam});
            receivedOnThisThread = std::this_thread::get_id() == uiThread;
            return LRESULT{0};
        });
    }
    std::vector<std::pair<WPARAM, LPARAM>> received;
    std::thread::id uiThread = std::this_thread::get_id();
    bool receivedOnThisThread = false;
};

TEST(Dialog, MessagesPostedFromAnotherThreadReachTheMappedHandlerInOrder) {
    ListeningDialog dialog;
    dialog.onInit = [&](ScriptedDialog& self) {
        const HWND window = self.GetSafeHwnd();
        ASSERT_NE(window, nullptr);
        std::thread poster([window] {
            PostMessageA(window, ListeningDialog::kMessage, 0x00050001, 7);
            PostMessageA(window, 0xC999, 1, 1);  // not in the map: ignored
            PostMessageA(window, ListeningDialog::kMessage, 0x0004, 0);
        });
        poster.join();
        WhenRunning([&] { self.EndDialog(IDOK); });
    };
    dialog.DoModal();
    ASSERT_EQ(dialog.received.size(), 2u);
    EXPECT_EQ(dialog.received[0], (std::pair<WPARAM, LPARAM>{0x00050001, 7}));
    EXPECT_EQ(dialog.received[1], (std::pair<WPARAM, LPARAM>{0x0004, 0}));
    EXPECT_TRUE(dialog.receivedOnThisThread);
}

TEST(Dialog, MessagesStillQueuedWhenTheRunEndsAreNotHandled) {
    // Выход, and a port notification queued behind it in the same pass of
    // the loop: the dialog has ended by the time the notification comes up.
    ListeningDialog dialog;
    dialog.onInit = [&](ScriptedDialog& self) {
        const HWND window = self.GetSafeHwnd();
        WhenRunning([&self, window] {
            QMetaObject::invokeMethod(
                qApp, [&self] { self.EndDialog(IDCANCEL); }, Qt::QueuedConnection);
            PostMessageA(window, ListeningDialog::kMessage, 1, 0);
        });
    };
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_TRUE(dialog.received.empty());

    // A handler ends the run and then waits in a loop of its own, as a
    // message box does: what arrives meanwhile is not handled either.
    dialog.onInit = [&](ScriptedDialog& self) {
        const HWND window = self.GetSafeHwnd();
        WhenRunning([&self, window] {
            self.EndDialog(IDOK);
            PostMessageA(window, ListeningDialog::kMessage, 2, 0);
            QEventLoop box;
            QTimer::singleShot(30, &box, &QEventLoop::quit);
            box.exec();
        });
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_TRUE(dialog.received.empty());
}

TEST(Dialog, MessagesForAWindowThatIsGoneAreDropped) {
    ListeningDialog dialog;
    HWND firstWindow = nullptr;
    dialog.onInit = [&](ScriptedDialog& self) {
        firstWindow = self.GetSafeHwnd();
        // Queued, then the run ends before the loop would deliver it.
        PostMessageA(firstWindow, ListeningDialog::kMessage, 1, 0);
        self.EndDialog(IDOK);
    };
    dialog.DoModal();
    EXPECT_EQ(PostMessageA(firstWindow, ListeningDialog::kMessage, 2, 0), FALSE);

    // A second run of the same object has a new window: nothing old arrives.
    dialog.onInit = [&](ScriptedDialog& self) {
        EXPECT_NE(self.GetSafeHwnd(), firstWindow);
        QTimer::singleShot(30, [&] { self.EndDialog(IDOK); });
    };
    dialog.DoModal();
    EXPECT_TRUE(dialog.received.empty());
}

}  // namespace
