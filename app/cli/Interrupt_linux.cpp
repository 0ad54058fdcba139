// The signals are blocked in every thread and taken by one thread of their
// own with sigwait, which may then post to the event loop as any thread may.
#include <csignal>
#include <thread>

#include "ConsoleOperator.h"
#include "ExitCodes.h"
#include "Interrupt.h"

void CatchInterrupts(std::function<void(int exitCode)> onInterrupt) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    // Threads started later inherit the mask, so only the waiter sees them.
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals, onInterrupt = std::move(onInterrupt)] {
        for (;;) {
            int caught = 0;
            if (sigwait(&signals, &caught) == 0) {
                PostToConsoleLoop([onInterrupt, caught] { onInterrupt(kExitSignalBase + caught); });
            }
        }
    }).detach();
}
