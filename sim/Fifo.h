// A first-in, first-out queue of bytes on their way, kept in one growing
// block: the wire and the instrument's end pass every byte of a run through
// several such queues, and a queue that allocates a block per few dozen
// bytes cost more than the bytes' own handling. Taken items are dropped
// from the front whenever the queue runs empty, or once they fill half
// the block, so the block stays as large as the most bytes ever waiting.
#pragma once

#include <cstddef>
#include <vector>

namespace sim {

template <typename Item>
class Fifo {
public:
    bool empty() const { return m_head == m_items.size(); }
    std::size_t size() const { return m_items.size() - m_head; }

    Item& front() { return m_items[m_head]; }
    const Item& front() const { return m_items[m_head]; }
    Item& back() { return m_items.back(); }
    const Item& back() const { return m_items.back(); }
    // The item `index` places behind the front.
    Item& operator[](std::size_t index) { return m_items[m_head + index]; }

    void push_back(const Item& item) { m_items.push_back(item); }
    void pop_front() {
        ++m_head;
        if (m_head == m_items.size()) {
            clear();
        } else if (m_head >= kLeastCompaction && 2 * m_head >= m_items.size()) {
            m_items.erase(m_items.begin(), m_items.begin() + static_cast<std::ptrdiff_t>(m_head));
            m_head = 0;
        }
    }
    void clear() {
        m_items.clear();
        m_head = 0;
    }

private:
    // Fewer taken items than this are never moved: moving them would cost
    // more than the room they hold.
    static constexpr std::size_t kLeastCompaction = 256;

    std::vector<Item> m_items;
    std::size_t m_head = 0;  // the front's index in m_items
};

}  // namespace sim
