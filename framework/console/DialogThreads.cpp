#include "DialogThreads.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "ConsoleOperator.h"
#include "ThreadMailbox.h"

struct DialogThreads::Run {
    std::thread thread;
    std::mutex lock;  // guards the mailbox against its thread's end
    std::condition_variable started;  // the mailbox is there
    bool ready = false;
    std::unique_ptr<ThreadMailbox> mailbox;  // null once the run has returned
};

DialogThreads::DialogThreads() = default;

DialogThreads::~DialogThreads() {
    Wait();
}

void DialogThreads::Start(std::function<void()> run) {
    // The entry outlives its thread: Wait joins it before the entry goes.
    auto started = std::make_unique<Run>();
    Run& entry = *started;
    entry.thread = std::thread([this, &entry, run = std::move(run)] {
        {
            const std::lock_guard guard(entry.lock);
            entry.mailbox = MakeThreadMailbox();
            entry.ready = true;
        }
        entry.started.notify_one();
        run();
        {
            const std::lock_guard guard(entry.lock);
            entry.mailbox.reset();
        }
        PostToConsoleLoop([this] { ++m_ended; });
    });
    std::unique_lock guard(entry.lock);
    entry.started.wait(guard, [&entry] { return entry.ready; });
    guard.unlock();
    m_runs.push_back(std::move(started));
}

void DialogThreads::Post(std::size_t index, std::function<void()> work) {
    if (index >= m_runs.size()) {
        return;
    }
    Run& entry = *m_runs[index];
    const std::lock_guard guard(entry.lock);
    if (entry.mailbox != nullptr) {
        entry.mailbox->Post(std::move(work));
    }
}

void DialogThreads::Wait() {
    ServeEventsWhile([this] { return m_ended < m_runs.size(); });
    for (const std::unique_ptr<Run>& entry : m_runs) {
        if (entry->thread.joinable()) {
            entry->thread.join();
        }
    }
}
