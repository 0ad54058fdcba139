// A window that collects the notifications posted to it, standing in for a
// dialog: the posting thread only queues, the test thread takes them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "Wnd.h"
#include "winapi.h"

struct Notification {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class FakeOwner : public CWnd {
public:
    FakeOwner() {
        m_hWnd = CreateWindowHandle([this](UINT message, WPARAM wParam, LPARAM lParam) {
            {
                std::lock_guard guard(lock_);
                received_.push_back({message, wParam, lParam});
            }
            arrived_.notify_all();
        });
    }
    ~FakeOwner() override { DestroyWindowHandle(m_hWnd); }

    // The next notification, or nothing within `milliseconds`.
    std::optional<Notification> Next(int milliseconds = 2000) {
        std::unique_lock guard(lock_);
        if (!arrived_.wait_for(guard, std::chrono::milliseconds(milliseconds),
                               [this] { return !received_.empty(); })) {
            return std::nullopt;
        }
        const Notification next = received_.front();
        received_.pop_front();
        return next;
    }

private:
    std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<Notification> received_;
};
