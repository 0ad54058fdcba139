#include "FrameQueue.h"

#include <utility>

void FrameQueue::AddHead(bool noReply, std::span<const std::uint8_t> bytes) {
    m_entries.push_front(QueuedFrame{noReply, {bytes.begin(), bytes.end()}});
}

QueuedFrame FrameQueue::TakeHead() {
    QueuedFrame head = std::move(m_entries.front());
    m_entries.pop_front();
    return head;
}
