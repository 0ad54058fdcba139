// Work for a thread's loop on QtCore: an object that lives on that thread
// receives it as a queued call, which the thread's event loop delivers in
// whichever dialog's modal run it turns.
#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>

#include "ThreadMailbox.h"

namespace {

class QtThreadMailbox final : public ThreadMailbox {
public:
    void Post(std::function<void()> work) override {
        QMetaObject::invokeMethod(&m_receiver, std::move(work), Qt::QueuedConnection);
    }

private:
    // Made on the calling thread, so it belongs to that thread's loop; when
    // it goes, the calls still queued for it go too.
    QObject m_receiver;
};

}  // namespace

std::unique_ptr<ThreadMailbox> MakeThreadMailbox() {
    return std::make_unique<QtThreadMailbox>();
}

void ServeEventsWhile(const std::function<bool()>& waiting) {
    QEventLoop loop;
    while (waiting()) {
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
}
