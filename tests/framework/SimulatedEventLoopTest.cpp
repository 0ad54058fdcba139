// The console backend's event loop in the simulated world: window timers on
// the world's time (due plus the drawn lateness, never early, on their own
// beat, no catch-up bursts, stopped and restarted for good), posted
// messages and presses in queue order, nothing after EndDialog, nested
// runs, and a run that can never get another event ending as a cancel.
#include <gmock/gmock.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "ConsoleOperator.h"
#include "DialogIds.h"
#include "DialogResults.h"
#include "PlatformMessageBox.h"
#include "ScriptedDialog.h"
#include "SimulatedClock.h"
#include "SimulatedRuns.h"
#include "winapi.h"

namespace {

using namespace std::chrono_literals;
using Lane = SimulatedClock::Lane;
using testing::ElementsAre;

// Stands for a port notification: a registered message, as the port posts.
const UINT kPortMessage = RegisterWindowMessageA("SimulatedLoopTestPortMessage");

class SimulatedLoop : public testing::Test {
protected:
    explicit SimulatedLoop(std::uint64_t seed = 26) : world(seed) { world.Install(); }

    // Simulated milliseconds since the world started.
    long long NowMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(world.Now() -
                                                                     SimulatedClock::kDefaultStart)
            .count();
    }
    // Runs `work` on the user-interface lane at `ms` simulated milliseconds.
    void AtMs(long long ms, std::function<void()> work) {
        world.At(SimulatedClock::kDefaultStart + std::chrono::milliseconds(ms), Lane::UserInterface,
                 std::move(work));
    }

    SimulatedClock world;
};

TEST_F(SimulatedLoop, TicksComeAtTheirBeatPlusLatenessNeverEarlyAndNeverDrift) {
    world.SetTimerLateness(7ms);
    ScriptedDialog dialog(kAboutBox);
    std::vector<long long> tickNs;
    dialog.onInit = [](ScriptedDialog& self) { self.SetTimer(3, 50); };
    dialog.onTimer = [&](ScriptedDialog& self, UINT_PTR) {
        tickNs.push_back((world.Now() - SimulatedClock::kDefaultStart).count());
        if (tickNs.size() == 400) {
            self.EndDialog(IDOK);
        }
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    ASSERT_EQ(tickNs.size(), 400u);
    bool anyLate = false;
    for (std::size_t k = 0; k < tickNs.size(); ++k) {
        const long long due = static_cast<long long>(k + 1) * 50'000'000;
        EXPECT_GE(tickNs[k], due) << "tick " << k;
        EXPECT_LE(tickNs[k], due + 7'000'000) << "tick " << k;
        anyLate = anyLate || tickNs[k] > due;
    }
    EXPECT_TRUE(anyLate);  // the lateness was drawn, not left at zero
}

TEST_F(SimulatedLoop, PeriodsBelowTheShortestGetTheShortest) {
    ScriptedDialog dialog(kAboutBox);
    std::vector<long long> ticks;
    dialog.onInit = [](ScriptedDialog& self) { self.SetTimer(3, 0); };
    dialog.onTimer = [&](ScriptedDialog& self, UINT_PTR) {
        ticks.push_back(NowMs());
        if (ticks.size() == 3) {
            self.EndDialog(IDOK);
        }
    };
    dialog.DoModal();
    EXPECT_THAT(ticks, ElementsAre(10, 20, 30));
}

// A handler that holds the thread (here a blocking wait of 175 ms) misses
// three beats; the timer then has one tick waiting, which comes at once,
// and goes on at its own beat.
TEST_F(SimulatedLoop, ATickThatComesLateIsNotFollowedByCatchUpTicks) {
    ScriptedDialog dialog(kAboutBox);
    std::vector<long long> ticks;
    dialog.onInit = [](ScriptedDialog& self) { self.SetTimer(3, 50); };
    dialog.onTimer = [&](ScriptedDialog& self, UINT_PTR) {
        ticks.push_back(NowMs());
        if (ticks.size() == 1) {
            const MonotonicTime deadline = world.Now() + 175ms;
            world.RunSystemUntil([] { return false; }, &deadline);
        }
        if (ticks.size() == 3) {
            self.EndDialog(IDOK);
        }
    };
    dialog.DoModal();
    EXPECT_THAT(ticks, ElementsAre(50, 225, 250));
    EXPECT_EQ(world.Queued(Lane::UserInterface), 0u);  // no tick left behind
}

TEST_F(SimulatedLoop, StoppingOrRestartingATimerCancelsItsPendingTick) {
    ScriptedDialog dialog(kAboutBox);
    std::vector<std::string> seen;
    dialog.onInit = [&](ScriptedDialog& self) {
        self.SetTimer(1, 100);  // restarted at 60 ms: due at 160, not 100
        self.SetTimer(2, 40);   // stopped at 30 ms: never ticks
        self.SetTimer(4, 50);   // their ticks fall due together at 50 ms;
        self.SetTimer(5, 50);   // timer 4 stops 5, whose tick is then queued
        AtMs(30, [&self] { EXPECT_EQ(self.KillTimer(2), TRUE); });
        AtMs(60, [&self] { self.SetTimer(1, 100); });
        AtMs(200, [&self] { self.EndDialog(IDOK); });
    };
    dialog.onTimer = [&](ScriptedDialog& self, UINT_PTR id) {
        seen.push_back(std::to_string(id) + "@" + std::to_string(NowMs()));
        if (id == 4) {
            self.KillTimer(4);
            self.KillTimer(5);
        }
        if (id == 1) {
            self.KillTimer(1);
        }
    };
    dialog.DoModal();
    EXPECT_THAT(seen, ElementsAre("4@50", "1@160"));
}

TEST_F(SimulatedLoop, AMessagePostedInAHandlerRunsAfterWhatWasQueued) {
    ScriptedDialog dialog(kAboutBox);
    std::vector<std::string> order;
    dialog.MapMessage(kPortMessage, [&](WPARAM wParam, LPARAM) {
        order.push_back("message " + std::to_string(wParam));
        if (wParam == 3) {
            dialog.EndDialog(IDOK);
        }
        return LRESULT{0};
    });
    dialog.MapButtonClicked(IDOK, [&] { order.push_back("press"); });
    dialog.onInit = [&](ScriptedDialog& self) {
        AtMs(20, [&] {
            order.push_back("work");
            // Queued for now already: a press and a message.
            PressDialogButton(self, IDOK);
            PostMessageA(self.GetSafeHwnd(), kPortMessage, 1, 0);
            PostToConsoleLoop([&] {
                order.push_back("posted work");
                PostMessageA(self.GetSafeHwnd(), kPortMessage, 3, 0);
            });
            PostMessageA(self.GetSafeHwnd(), kPortMessage, 2, 0);
        });
    };
    dialog.DoModal();
    EXPECT_THAT(order, ElementsAre("work", "press", "message 1", "posted work", "message 2",
                                   "message 3"));
    EXPECT_EQ(NowMs(), 20);  // all at one instant: posting takes no time
}

TEST_F(SimulatedLoop, NothingReachesAHandlerAfterEndDialogThoughItWasQueued) {
    ScriptedDialog dialog(kAboutBox);
    int messages = 0;
    int presses = 0;
    dialog.MapMessage(kPortMessage, [&](WPARAM, LPARAM) { return ++messages, LRESULT{0}; });
    dialog.MapButtonClicked(IDOK, [&] { ++presses; });
    HWND handle = nullptr;
    dialog.onInit = [&](ScriptedDialog& self) {
        handle = self.GetSafeHwnd();
        self.SetTimer(1, 50);
        self.SetTimer(2, 50);  // due with timer 1's tick, behind it
    };
    dialog.onTimer = [&](ScriptedDialog& self, UINT_PTR) {
        PostMessageA(self.GetSafeHwnd(), kPortMessage, 0, 0);
        PressDialogButton(self, IDOK);
        self.EndDialog(IDCANCEL);
    };
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    while (world.RunNext()) {  // whatever was left queued for the window
    }
    EXPECT_THAT(dialog.ticks, ElementsAre(1u));
    EXPECT_EQ(messages, 0);
    EXPECT_EQ(presses, 0);
    // The handle went with the window: a post to it now is refused.
    EXPECT_EQ(PostMessageA(handle, kPortMessage, 0, 0), FALSE);
    EXPECT_EQ(world.Queued(Lane::UserInterface), 0u);
}

TEST_F(SimulatedLoop, ARunThatCanNeverGetAnotherEventEndsAsACancel) {
    const std::uint64_t stalledBefore = SimulatedRunsStalled();
    ScriptedDialog dialog(kAboutBox);
    dialog.onInit = [&](ScriptedDialog&) { AtMs(500, [] {}); };
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(SimulatedRunsStalled(), stalledBefore + 1);
    EXPECT_EQ(NowMs(), 500);  // it ran what there was, then stopped

    // A stopped timer leaves nothing queued that could keep a dead run going.
    dialog.onInit = [&](ScriptedDialog& self) {
        self.SetTimer(1, 100);
        self.KillTimer(1);
    };
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(SimulatedRunsStalled(), stalledBefore + 2);
    EXPECT_EQ(NowMs(), 500);

    // A run that ends normally is not counted.
    dialog.onInit = [&](ScriptedDialog& self) { AtMs(600, [&self] { self.EndDialog(IDOK); }); };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(SimulatedRunsStalled(), stalledBefore + 2);
}

// A dialog started from a handler runs its own loop; the outer dialog's
// timer keeps ticking meanwhile, as a window's does under a modal box.
TEST_F(SimulatedLoop, ANestedRunEndsOnItsOwnAndTheOuterRunGoesOn) {
    ScriptedDialog outer(kPortDialog);
    ScriptedDialog inner(kAboutBox);
    int innerResult = 0;
    std::vector<long long> outerTicks;
    inner.onInit = [&](ScriptedDialog& self) { AtMs(230, [&self] { PressDialogButton(self, IDOK); }); };
    outer.onInit = [](ScriptedDialog& self) { self.SetTimer(9, 50); };
    outer.onTimer = [&](ScriptedDialog& self, UINT_PTR) {
        outerTicks.push_back(NowMs());
        if (outerTicks.size() == 1) {
            innerResult = inner.DoModal();
        } else if (outerTicks.size() == 6) {
            self.EndDialog(IDOK);
        }
    };
    EXPECT_EQ(outer.DoModal(), IDOK);
    EXPECT_EQ(innerResult, IDOK);
    EXPECT_THAT(outerTicks, ElementsAre(50, 100, 150, 200, 250, 300));
}

TEST_F(SimulatedLoop, KeepingEventsRunningTakesExactlyThatMuchSimulatedTime) {
    ScriptedDialog dialog(kAboutBox);
    long long returnedAt = -1;
    dialog.onInit = [&](ScriptedDialog& self) {
        self.SetTimer(2, 30);
        AtMs(10, [&] {
            KeepEventsRunningFor(100);  // as a message box that waits
            returnedAt = NowMs();
            self.EndDialog(IDOK);
        });
    };
    dialog.DoModal();
    EXPECT_EQ(returnedAt, 110);
    EXPECT_EQ(dialog.ticks.size(), 3u);  // at 30, 60 and 90 ms
}

TEST(SimulatedLoopWithoutAWorld, ADialogDoesNotRun) {
    ScriptedDialog dialog(kAboutBox);
    bool started = false;
    dialog.onInit = [&](ScriptedDialog&) { started = true; };
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_FALSE(started);
}

// What a simulated minute of a 50 ms window timer costs; printed, not
// asserted, as the machine decides it.
TEST_F(SimulatedLoop, AMinuteOfA50MsTimerCostsLittleCpu) {
    ScriptedDialog dialog(kAboutBox);
    dialog.onInit = [&](ScriptedDialog& self) {
        self.SetTimer(1, 50);
        AtMs(60'001, [&self] { self.EndDialog(IDOK); });
    };
    timespec start{};
    timespec end{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
    dialog.DoModal();
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &end);
    const double cpuMs = static_cast<double>(end.tv_sec - start.tv_sec) * 1e3 +
                         static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e6;
    EXPECT_EQ(dialog.ticks.size(), 1200u);
    std::printf("a simulated minute of a 50 ms timer (%zu ticks): %.3f ms of CPU\n",
                dialog.ticks.size(), cpuMs);
}

}  // namespace
