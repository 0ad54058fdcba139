// Window timers: ids, restarts, stops, and that they end with the window.
#include <gmock/gmock.h>

#include "DialogIds.h"
#include "DialogResults.h"
#include "DialogTestSupport.h"

namespace {

TEST(WindowTimer, NeedsAWindowAndANonZeroId) {
    ScriptedDialog dialog(kAboutBox);
    EXPECT_EQ(dialog.SetTimer(2, 50), 0u);
    EXPECT_EQ(dialog.KillTimer(2), FALSE);
    dialog.onInit = [](ScriptedDialog& self) {
        EXPECT_EQ(self.SetTimer(0, 50), 0u);
        EXPECT_EQ(self.SetTimer(4, 50), 4u);
        EXPECT_EQ(self.KillTimer(4), TRUE);
        EXPECT_EQ(self.KillTimer(4), FALSE);  // already stopped
        EXPECT_EQ(self.KillTimer(7), FALSE);  // never started
        self.EndDialog(IDOK);
    };
    dialog.DoModal();
}

// Setting a running timer again starts its period afresh: timer 2 (200 ms)
// set again after 100 ms falls due at 300 ms, after timer 10 (250 ms).
TEST(WindowTimer, SettingARunningTimerAgainRestartsIt) {
    ScriptedDialog dialog(kAboutBox);
    dialog.onInit = [](ScriptedDialog& self) {
        self.SetTimer(2, 200);
        self.SetTimer(10, 250);
        QTimer::singleShot(100, [&self] { self.SetTimer(2, 200); });
    };
    dialog.onTimer = [](ScriptedDialog& self, UINT_PTR id) {
        self.KillTimer(id);
        if (self.ticks.size() == 2) {
            self.EndDialog(IDOK);
        }
    };
    dialog.DoModal();
    EXPECT_THAT(dialog.ticks, testing::ElementsAre(10u, 2u));
}

TEST(WindowTimer, ATimerStoppedInItsOwnTickNeverTicksAgain) {
    ScriptedDialog dialog(kAboutBox);
    dialog.onInit = [](ScriptedDialog& self) {
        self.SetTimer(7, 10);
        self.SetTimer(4, 15);  // keeps ticking alongside
        QTimer::singleShot(200, [&self] { self.EndDialog(IDOK); });
    };
    dialog.onTimer = [](ScriptedDialog& self, UINT_PTR id) {
        if (id == 7) {
            self.KillTimer(7);
        }
    };
    dialog.DoModal();
    EXPECT_EQ(std::count(dialog.ticks.begin(), dialog.ticks.end(), 7u), 1);
    EXPECT_GT(std::count(dialog.ticks.begin(), dialog.ticks.end(), 4u), 1);
}

TEST(WindowTimer, PeriodZeroDoesNotSpin) {
    ScriptedDialog dialog(kAboutBox);
    dialog.onInit = [](ScriptedDialog& self) {
        self.SetTimer(2, 0);
        QTimer::singleShot(100, [&self] { self.EndDialog(IDOK); });
    };
    dialog.DoModal();
    // At the shortest period of 10 ms, 100 ms hold at most about ten ticks.
    EXPECT_LE(dialog.ticks.size(), 12u);
}

TEST(WindowTimer, TimersEndWithTheWindow) {
    ScriptedDialog dialog(kAboutBox);
    dialog.onInit = [](ScriptedDialog& self) {
        self.SetTimer(2, 10);
        self.EndDialog(IDOK);
    };
    dialog.DoModal();
    dialog.onInit = [](ScriptedDialog& self) {
        QTimer::singleShot(60, [&self] { self.EndDialog(IDOK); });
    };
    dialog.DoModal();
    EXPECT_TRUE(dialog.ticks.empty());
}

}  // namespace
