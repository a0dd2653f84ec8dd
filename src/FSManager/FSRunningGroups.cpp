#include "FSRunningGroups.h"

#include <cstddef>

namespace {

// Opens and closes a writer's change of the slots.
class WriteTurn
{
public:
    explicit WriteTurn(std::atomic<unsigned> &sequence) : m_sequence(sequence)
    {
        m_sequence.fetch_add(1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
    }
    ~WriteTurn() { m_sequence.fetch_add(1, std::memory_order_release); }

private:
    std::atomic<unsigned> &m_sequence;
};

} // namespace

void FSRunningGroups::add(int groupId)
{
    const int count = m_count.load(std::memory_order_relaxed);
    WriteTurn turn(m_sequence);
    if (count >= kCapacity) {
        // Too many to track: the view no longer says No for anyone.
        m_count.store(kCapacity + 1, std::memory_order_relaxed);
        return;
    }
    m_slots[static_cast<std::size_t>(count)].store(groupId, std::memory_order_relaxed);
    m_count.store(count + 1, std::memory_order_relaxed);
}

void FSRunningGroups::remove(int groupId)
{
    const int count = m_count.load(std::memory_order_relaxed);
    if (count > kCapacity)
        return; // stays Unknown
    for (int i = 0; i < count; ++i) {
        if (m_slots[static_cast<std::size_t>(i)].load(std::memory_order_relaxed) != groupId)
            continue;
        WriteTurn turn(m_sequence);
        const int last = m_slots[static_cast<std::size_t>(count - 1)].load(std::memory_order_relaxed);
        m_slots[static_cast<std::size_t>(i)].store(last, std::memory_order_relaxed);
        m_count.store(count - 1, std::memory_order_relaxed);
        return;
    }
}

FSRunningGroups::Answer FSRunningGroups::contains(int groupId) const
{
    // A writer holds its turn for a few instructions; one that was
    // preempted inside it is not waited for: the caller takes the lock.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const unsigned before = m_sequence.load(std::memory_order_acquire);
        if (before & 1u)
            continue;
        const int count = m_count.load(std::memory_order_relaxed);
        Answer answer = Answer::No;
        if (count > kCapacity) {
            answer = Answer::Unknown;
        } else {
            for (int i = 0; i < count; ++i) {
                if (m_slots[static_cast<std::size_t>(i)].load(std::memory_order_relaxed) == groupId) {
                    answer = Answer::Yes;
                    break;
                }
            }
        }
        std::atomic_thread_fence(std::memory_order_acquire);
        if (m_sequence.load(std::memory_order_relaxed) == before)
            return answer;
    }
    return Answer::Unknown;
}
