// Several runs of dialogs at once on the console backend, each on a thread
// of its own: their modal runs overlap, work posted for one run reaches the
// dialog that run shows, each thread's console operator sees only its own
// dialogs, and the waiting thread keeps serving the user-interface loop.
#include <gmock/gmock.h>

#include <QCoreApplication>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "ConsoleOperator.h"
#include "DialogIds.h"
#include "DialogResults.h"
#include "DialogThreads.h"
#include "ScriptedDialog.h"

namespace {

constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickPeriodMs = 10;

// Remembers on which threads it was shown a dialog.
class RecordingOperator final : public ConsoleOperator {
public:
    void OnDialogStarted(CDialog&) override {
        const std::lock_guard guard(m_lock);
        m_threads.push_back(std::this_thread::get_id());
    }
    void OnControlChanged(CDialog&, int) override {}
    int OnMessageBox(std::string_view, UINT) override { return IDOK; }

    std::vector<std::thread::id> Threads() {
        const std::lock_guard guard(m_lock);
        return m_threads;
    }

private:
    std::mutex m_lock;
    std::vector<std::thread::id> m_threads;
};

// Runs until the other run's dialog has been seen running beside it.
TEST(DialogThreads, TheirModalRunsOverlap) {
    std::atomic<int> running{0};
    std::atomic<int> mostAtOnce{0};
    const auto run = [&] {
        ScriptedDialog dialog(kAboutBox);
        dialog.onInit = [&](ScriptedDialog& self) {
            ++running;
            self.SetTimer(kTickTimer, kTickPeriodMs);
        };
        dialog.onTimer = [&](ScriptedDialog& self, UINT_PTR) {
            mostAtOnce = std::max(mostAtOnce.load(), running.load());
            if (mostAtOnce == 2) {
                --running;
                self.EndDialog(IDOK);
            }
        };
        EXPECT_EQ(dialog.DoModal(), IDOK);
    };
    DialogThreads threads;
    threads.Start(run);
    threads.Start(run);
    threads.Wait();
    EXPECT_EQ(mostAtOnce, 2);
}

TEST(DialogThreads, PostedWorkReachesTheDialogOfThatRunOnItsThread) {
    std::atomic<ScriptedDialog*> shown{nullptr};
    std::thread::id runThread;
    std::thread::id workThread;
    DialogThreads threads;
    // Run 0 returns at once; run 1's dialog goes on until the work posted
    // to run 1 ends it.
    threads.Start([] {});
    threads.Start([&] {
        runThread = std::this_thread::get_id();
        ScriptedDialog dialog(kAboutBox);
        dialog.onInit = [&](ScriptedDialog& self) { shown = &self; };
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    });
    // Posted before the dialog has started: it waits for the dialog's run.
    threads.Post(1, [&] {
        workThread = std::this_thread::get_id();
        ASSERT_NE(shown.load(), nullptr);
        shown.load()->EndDialog(IDCANCEL);
    });
    threads.Wait();
    EXPECT_EQ(workThread, runThread);
    // The run has returned: work for it is dropped.
    bool ran = false;
    threads.Post(1, [&] { ran = true; });
    threads.Post(7, [&] { ran = true; });
    EXPECT_FALSE(ran);
}

TEST(DialogThreads, EachThreadsConsoleOperatorSeesOnlyItsOwnDialogs) {
    RecordingOperator first;
    RecordingOperator second;
    std::thread::id firstThread;
    std::thread::id secondThread;
    const auto run = [](RecordingOperator& person, std::thread::id& thread, int dialogs) {
        return [&person, &thread, dialogs] {
            thread = std::this_thread::get_id();
            InstallConsoleOperator(&person);
            for (int i = 0; i < dialogs; ++i) {
                ScriptedDialog dialog(kAboutBox);
                dialog.onInit = [](ScriptedDialog& self) { self.SetTimer(kTickTimer, kTickPeriodMs); };
                dialog.onTimer = [](ScriptedDialog& self, UINT_PTR) { self.EndDialog(IDOK); };
                dialog.DoModal();
            }
            InstallConsoleOperator(nullptr);
        };
    };
    DialogThreads threads;
    threads.Start(run(first, firstThread, 1));
    threads.Start(run(second, secondThread, 2));
    threads.Wait();
    EXPECT_THAT(first.Threads(), testing::ElementsAre(firstThread));
    EXPECT_THAT(second.Threads(), testing::ElementsAre(secondThread, secondThread));
}

TEST(DialogThreads, TheWaitingThreadServesTheUserInterfaceLoop) {
    const std::thread::id waiting = std::this_thread::get_id();
    std::atomic<bool> served{false};
    DialogThreads threads;
    threads.Start([&] {
        ScriptedDialog dialog(kAboutBox);
        dialog.onInit = [&](ScriptedDialog& self) {
            self.SetTimer(kTickTimer, kTickPeriodMs);
            PostToConsoleLoop([&] { served = std::this_thread::get_id() == waiting; });
        };
        // Ends once the main thread has run the work.
        dialog.onTimer = [&](ScriptedDialog& self, UINT_PTR) {
            if (served) {
                self.EndDialog(IDOK);
            }
        };
        dialog.DoModal();
    });
    threads.Wait();
    EXPECT_TRUE(served);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
