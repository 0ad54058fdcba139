// Several runs of dialogs at once in one console program, each on a thread
// of its own: a production line updates one instrument per port. A modal
// run takes the events of the thread it runs on, so each thread has its own
// event loop, its timers, the notifications of its own port and its own
// console operator (InstallConsoleOperator is per thread); nothing of one
// run waits for another. The thread that starts them keeps serving the
// user-interface loop (PostToConsoleLoop) while it waits.
//
// Start, Post and Wait are called from the thread that owns this object.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

class DialogThreads {
public:
    DialogThreads();
    // Waits for the runs still going.
    ~DialogThreads();
    DialogThreads(const DialogThreads&) = delete;
    DialogThreads& operator=(const DialogThreads&) = delete;

    // Starts `run` on a new thread; its index is the number of runs started
    // before it. Returns once that thread can take posted work.
    void Start(std::function<void()> run);
    // Runs `work` on the thread of run `index`, between the events of the
    // dialog it runs, or in the next dialog's run when none runs now; work
    // still waiting when the run returns is dropped.
    void Post(std::size_t index, std::function<void()> work);
    // Serves the user-interface loop until every run has returned, then
    // joins their threads.
    void Wait();

private:
    struct Run;
    std::vector<std::unique_ptr<Run>> m_runs;
    std::size_t m_ended = 0;  // runs returned; counted on the owner's thread
};
