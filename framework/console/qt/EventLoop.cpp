// The console backend's event loop on QtCore: the same timers (precise)
// and the same queue of posted messages as the windowed program's, without
// any window.
#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <map>

#include "ConsoleOperator.h"
#include "DialogEvents.h"
#include "DialogWindow.h"
#include "qt/PostedMessageEvent.h"
#include "winapi.h"

namespace {

class QtDialogEvents final : public QObject, public DialogEvents {
public:
    explicit QtDialogEvents(DialogWindow& window) : m_window(window) {
        // The sink runs on the posting thread while the handle exists; the
        // handle goes first when this object goes.
        m_handle = CreateWindowHandle([this](UINT message, WPARAM wParam, LPARAM lParam) {
            QCoreApplication::postEvent(this, new PostedMessageEvent(message, wParam, lParam));
        });
    }
    ~QtDialogEvents() override { DestroyWindowHandle(m_handle); }

    HWND Handle() const override { return m_handle; }

    bool StartTimer(UINT_PTR id, UINT periodMs) override {
        QTimer*& timer = m_timers[id];
        if (timer == nullptr) {
            timer = new QTimer(this);
            timer->setTimerType(Qt::PreciseTimer);
            QObject::connect(timer, &QTimer::timeout, this, [this, id] { m_window.OnTimer(id); });
        }
        timer->start(static_cast<int>(periodMs));
        return true;
    }

    void StopTimer(UINT_PTR id) override {
        // Not deleted: its tick may be the one running.
        if (const auto it = m_timers.find(id); it != m_timers.end()) {
            it->second->stop();
        }
    }

    void Press(int controlId) override {
        QMetaObject::invokeMethod(
            this, [this, controlId] { m_window.OnPress(controlId); }, Qt::QueuedConnection);
    }

    void Run() override { m_loop.exec(); }

    void Finish() override {
        if (m_loop.isRunning()) {
            m_loop.exit();
        }
    }

    bool event(QEvent* event) override {
        if (event->type() == PostedMessageEvent::Kind()) {
            const auto* posted = static_cast<PostedMessageEvent*>(event);
            m_window.OnPosted(posted->m_message, posted->m_wParam, posted->m_lParam);
            return true;
        }
        return QObject::event(event);
    }

private:
    DialogWindow& m_window;
    HWND m_handle = nullptr;
    std::map<UINT_PTR, QTimer*> m_timers;  // children of this object
    QEventLoop m_loop;
};

}  // namespace

std::unique_ptr<DialogEvents> MakeDialogEvents(DialogWindow& window) {
    return std::make_unique<QtDialogEvents>(window);
}

bool EventLoopExists() {
    return QCoreApplication::instance() != nullptr;
}

void PostToConsoleLoop(std::function<void()> work) {
    if (QCoreApplication* application = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(application, std::move(work), Qt::QueuedConnection);
    }
}
