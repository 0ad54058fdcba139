// The update dialog's pending requests. Producers add at the head and the
// pump takes from the head, so the entry added last goes out first. The
// procedure never has more than one entry waiting, so the order between
// entries never shows; what matters is that a switch request can empty the
// queue before it is added.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

// One request waiting to be sent: its header and payload (N + 3 bytes, no
// CRC; the port seals it when it writes it) and whether a reply is awaited.
struct QueuedFrame {
    bool noReply = false;  // true: once sent, nothing is awaited
    std::vector<std::uint8_t> bytes;
};

class FrameQueue {
public:
    void AddHead(bool noReply, std::span<const std::uint8_t> bytes);
    // Removes the head entry and returns it; the queue must not be empty.
    QueuedFrame TakeHead();
    // The entry TakeHead would return; the queue must not be empty.
    const QueuedFrame& Head() const { return m_entries.front(); }
    void Clear() { m_entries.clear(); }
    std::size_t Size() const { return m_entries.size(); }
    bool IsEmpty() const { return m_entries.empty(); }

private:
    std::deque<QueuedFrame> m_entries;  // owned copies
};
