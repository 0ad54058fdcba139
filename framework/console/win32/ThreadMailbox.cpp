// Work for a thread's loop on Win32: a message-only window of that thread
// takes it as a message, which whichever dialog's modal run the thread
// turns delivers.
#include "ThreadMailbox.h"

#include "LoopWindow.h"

namespace {

class WindowThreadMailbox final : public ThreadMailbox {
public:
    WindowThreadMailbox() : m_window(CreateWorkWindow()) {}
    ~WindowThreadMailbox() override {
        if (m_window != nullptr) {
            DestroyWorkWindow(m_window);
        }
    }

    void Post(std::function<void()> work) override { PostWork(m_window, std::move(work)); }

private:
    HWND m_window;
};

}  // namespace

std::unique_ptr<ThreadMailbox> MakeThreadMailbox() {
    return std::make_unique<WindowThreadMailbox>();
}

void ServeEventsWhile(const std::function<bool()>& waiting) {
    MSG message;
    while (waiting() && GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}
