// Framework-internal, console backend: how work reaches the event loop of a
// thread that runs dialogs, and how the main thread serves its own loop
// while it waits (DialogThreads.h). One .cpp per event loop.
#pragma once

#include <functional>
#include <memory>

class ThreadMailbox {
public:
    // On the thread that made it: work still queued is dropped.
    virtual ~ThreadMailbox() = default;
    // From any thread: `work` runs on the mailbox's thread, in its event
    // loop's next turn.
    virtual void Post(std::function<void()> work) = 0;

protected:
    ThreadMailbox() = default;
    ThreadMailbox(const ThreadMailbox&) = delete;
    ThreadMailbox& operator=(const ThreadMailbox&) = delete;
};

// A mailbox for the calling thread's event loop.
std::unique_ptr<ThreadMailbox> MakeThreadMailbox();

// Serves the calling thread's event loop, waiting for events, until
// `waiting()`, asked after each turn, is false.
void ServeEventsWhile(const std::function<bool()>& waiting);
