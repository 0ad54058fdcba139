// The console backend's event loop on QtCore: the same timers (precise, at
// least 10 ms) and the same queue of posted messages as the windowed
// program's, without any window.
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <map>

#include "ConsoleOperator.h"
#include "DialogWindow.h"
#include "PlatformMessageBox.h"
#include "winapi.h"

namespace {

// The shortest timer period, as the windowed program has it: shorter
// requests (0 included) get this one.
constexpr UINT kShortestTimerPeriodMs = 10;

const QEvent::Type kPostedMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class PostedMessageEvent final : public QEvent {
public:
    PostedMessageEvent(UINT message, WPARAM wParam, LPARAM lParam)
        : QEvent(kPostedMessageEvent), m_message(message), m_wParam(wParam), m_lParam(lParam) {}

    const UINT m_message;
    const WPARAM m_wParam;
    const LPARAM m_lParam;
};

}  // namespace

struct DialogWindow::Events final : QObject {
    explicit Events(DialogWindow& window) : m_window(window) {
        // The sink runs on the posting thread while the handle exists; the
        // handle goes first when this object goes.
        m_handle = CreateWindowHandle([this](UINT message, WPARAM wParam, LPARAM lParam) {
            QCoreApplication::postEvent(this, new PostedMessageEvent(message, wParam, lParam));
        });
    }
    ~Events() override { DestroyWindowHandle(m_handle); }

    bool event(QEvent* event) override {
        if (event->type() == kPostedMessageEvent) {
            const auto* posted = static_cast<PostedMessageEvent*>(event);
            m_window.OnPosted(posted->m_message, posted->m_wParam, posted->m_lParam);
            return true;
        }
        return QObject::event(event);
    }

    DialogWindow& m_window;
    HWND m_handle = nullptr;
    std::map<UINT_PTR, QTimer*> m_timers;  // children of this object
    QEventLoop m_loop;
};

DialogWindow::DialogWindow(CDialog& owner, const DialogTemplate& dialogTemplate)
    : m_owner(owner),
      m_items(MakeDialogItems(owner, dialogTemplate)),
      m_events(std::make_unique<Events>(*this)) {}

DialogWindow::~DialogWindow() = default;

HWND DialogWindow::Handle() const {
    return m_events->m_handle;
}

void DialogWindow::StartTimer(UINT_PTR id, UINT periodMs) {
    QTimer*& timer = m_events->m_timers[id];
    if (timer == nullptr) {
        timer = new QTimer(m_events.get());
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, m_events.get(), [this, id] { OnTimer(id); });
    }
    timer->start(static_cast<int>(std::max(periodMs, kShortestTimerPeriodMs)));
}

bool DialogWindow::StopTimer(UINT_PTR id) {
    const auto it = m_events->m_timers.find(id);
    if (it == m_events->m_timers.end() || !it->second->isActive()) {
        return false;
    }
    it->second->stop();  // not deleted: its tick may be the one running
    return true;
}

void DialogWindow::Press(int controlId) {
    QMetaObject::invokeMethod(
        m_events.get(), [this, controlId] { OnPress(controlId); }, Qt::QueuedConnection);
}

void DialogWindow::Run() {
    m_events->m_loop.exec();
}

void DialogWindow::Finish() {
    if (m_events->m_loop.isRunning()) {
        m_events->m_loop.exit();
    }
}

bool DialogWindow::EventLoopExists() {
    return QCoreApplication::instance() != nullptr;
}

void PostToConsoleLoop(std::function<void()> work) {
    if (QCoreApplication* application = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(application, std::move(work), Qt::QueuedConnection);
    }
}

void KeepEventsRunningFor(int durationMs) {
    if (QCoreApplication::instance() == nullptr) {
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(durationMs, &loop, &QEventLoop::quit);
    loop.exec();
}
