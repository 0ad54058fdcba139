// The console backend's event loop in the simulated world: the dialogs'
// timers, posted messages and button presses are events on the
// user-interface lane of the installed SimulatedClock, and a modal run
// takes the world's events one after another until its dialog ends. No
// thread, no real clock and no sleeping: a run costs only the work of its
// events.
#include <map>
#include <memory>
#include <utility>

#include "ConsoleOperator.h"
#include "DialogEvents.h"
#include "DialogWindow.h"
#include "PlatformMessageBox.h"
#include "SimulatedClock.h"
#include "SimulatedRuns.h"
#include "winapi.h"

namespace {

using Lane = SimulatedClock::Lane;

std::uint64_t g_runsStalled = 0;

// The window of a dialog as long as it exists, for the events queued for
// it: one queued after the window went finds null and does nothing.
struct WindowLife {
    DialogWindow* window;
};

class SimulatedDialogEvents final : public DialogEvents {
public:
    SimulatedDialogEvents(DialogWindow& window, SimulatedClock& world)
        : m_world(world), m_life(std::make_shared<WindowLife>(WindowLife{&window})) {
        // A post is queued behind everything already queued for now.
        m_handle = CreateWindowHandle(
            [life = m_life, &world](UINT message, WPARAM wParam, LPARAM lParam) {
                world.At(world.Now(), Lane::UserInterface, [life, message, wParam, lParam] {
                    if (life->window != nullptr) {
                        life->window->OnPosted(message, wParam, lParam);
                    }
                });
            });
    }

    ~SimulatedDialogEvents() override {
        DestroyWindowHandle(m_handle);
        for (const auto& [id, timer] : m_timers) {
            m_world.Cancel(timer.pendingTick);
        }
        m_life->window = nullptr;
    }

    HWND Handle() const override { return m_handle; }

    bool StartTimer(UINT_PTR id, UINT periodMs) override {
        Timer& timer = m_timers[id];
        m_world.Cancel(timer.pendingTick);
        timer.period = std::chrono::milliseconds(periodMs);
        timer.due = m_world.Now() + timer.period;
        QueueTick(id, timer);
        return true;
    }

    void StopTimer(UINT_PTR id) override {
        if (const auto it = m_timers.find(id); it != m_timers.end()) {
            m_world.Cancel(it->second.pendingTick);
            m_timers.erase(it);
        }
    }

    void Press(int controlId) override {
        m_world.At(m_world.Now(), Lane::UserInterface, [life = m_life, controlId] {
            if (life->window != nullptr) {
                life->window->OnPress(controlId);
            }
        });
    }

    void Run() override {
        while (!m_finished) {
            if (!m_world.RunNext()) {
                ++g_runsStalled;
                return;
            }
        }
    }

    void Finish() override { m_finished = true; }

private:
    struct Timer {
        SimulatedClock::Duration period{};
        MonotonicTime due{};                // when the coming tick is due
        SimulatedClock::EventId pendingTick;  // the one tick queued, if any
    };

    // Queues the tick due at `timer.due`, as late as this machine draws.
    void QueueTick(UINT_PTR id, Timer& timer) {
        timer.pendingTick = m_world.At(timer.due + m_world.DrawTimerLateness(),
                                       Lane::UserInterface, [this, id] { Tick(id); });
    }

    void Tick(UINT_PTR id) {
        Timer& timer = m_timers.at(id);
        // The next tick keeps to the timer's own beat, whatever this one's
        // lateness; beats already passed are not made up, as a window timer
        // has at most one tick waiting.
        const MonotonicTime now = m_world.Now();
        timer.due += timer.period;
        if (timer.due <= now) {
            timer.due += timer.period * ((now - timer.due) / timer.period + 1);
        }
        QueueTick(id, timer);
        // The handler may stop, restart or end everything; the window is
        // there until the run that this tick belongs to returns.
        m_life->window->OnTimer(id);
    }

    SimulatedClock& m_world;
    std::shared_ptr<WindowLife> m_life;
    HWND m_handle = nullptr;
    std::map<UINT_PTR, Timer> m_timers;  // the running ones, by id
    bool m_finished = false;
};

}  // namespace

std::unique_ptr<DialogEvents> MakeDialogEvents(DialogWindow& window) {
    return std::make_unique<SimulatedDialogEvents>(window, *SimulatedClock::Installed());
}

bool EventLoopExists() {
    return SimulatedClock::Installed() != nullptr;
}

std::uint64_t SimulatedRunsStalled() {
    return g_runsStalled;
}

void PostToConsoleLoop(std::function<void()> work) {
    if (SimulatedClock* world = SimulatedClock::Installed()) {
        world->At(world->Now(), Lane::UserInterface, std::move(work));
    }
}

void KeepEventsRunningFor(int durationMs) {
    SimulatedClock* world = SimulatedClock::Installed();
    if (world == nullptr) {
        return;
    }
    // A mark at the end of the span: the events before it run in their
    // order, and the world's time stands at the end when it has run.
    bool reached = false;
    world->After(std::chrono::milliseconds(durationMs), Lane::UserInterface,
                 [&reached] { reached = true; });
    while (!reached && world->RunNext()) {
    }
}
