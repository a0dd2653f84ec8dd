#pragma once

#include <array>
#include <atomic>

// Which groups run, readable without a lock. Starts and stops of running
// groups and stops of stopped ones come in floods from HTTP clients and
// phone apps; they change nothing, and finding that out on this view keeps
// them off the conference lock that every real start and stop takes.
//
// Writers (one at a time: they hold the conference lock) mark each change
// with a sequence number; a reader that overlapped a change reads again.
// Up to kCapacity groups are tracked (more than there are conference
// numbers); beyond that, or while a writer's change takes long, the view
// answers Unknown and callers take the lock.
class FSRunningGroups
{
public:
    enum class Answer { Yes, No, Unknown };
    static constexpr int kCapacity = 1024;

    // Conference lock held.
    void add(int groupId);
    void remove(int groupId);

    // Any thread, no lock.
    Answer contains(int groupId) const;

private:
    std::atomic<unsigned> m_sequence{0}; // odd while a writer changes the slots
    std::atomic<int> m_count{0};         // slots in use, or kCapacity + 1 when groups were left out
    std::array<std::atomic<int>, kCapacity> m_slots{};
};
