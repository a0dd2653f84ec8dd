#include "FSRunningGroups.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using Answer = FSRunningGroups::Answer;

TEST(FSRunningGroups, AddsRemovesAndFillsHolesFromTheEnd)
{
    FSRunningGroups running;
    EXPECT_EQ(running.contains(1), Answer::No);
    for (int id : {1, 2, 3, 4})
        running.add(id);
    running.remove(2); // the last one moves into its place
    running.remove(9); // not there: nothing changes
    const struct {
        int id;
        Answer answer;
    } cases[] = {{1, Answer::Yes}, {2, Answer::No}, {3, Answer::Yes}, {4, Answer::Yes}, {9, Answer::No}};
    for (const auto &c : cases)
        EXPECT_EQ(running.contains(c.id), c.answer) << c.id;
    running.remove(4);
    running.remove(1);
    running.remove(3);
    EXPECT_EQ(running.contains(3), Answer::No);
}

// Past its capacity the view cannot say No for anyone any more: callers
// then look under the lock.
TEST(FSRunningGroups, TooManyGroupsMakeEveryAnswerUnknown)
{
    FSRunningGroups running;
    for (int id = 1; id <= FSRunningGroups::kCapacity + 1; ++id)
        running.add(id);
    EXPECT_EQ(running.contains(1), Answer::Unknown);
    EXPECT_EQ(running.contains(FSRunningGroups::kCapacity + 5), Answer::Unknown);
    running.remove(1);
    EXPECT_EQ(running.contains(1), Answer::Unknown);
}

// While groups come and go, readers never see a group that runs all along as
// stopped, nor one that never ran as running. The churn moves the running
// group between slots: a second copy of it goes in at the end, the first
// copy goes, and the removal of the group in front moves it back.
TEST(FSRunningGroups, ReadersNeverMissAGroupWhileOthersChange)
{
    FSRunningGroups running;
    running.add(1000);
    std::atomic<bool> done{false};
    std::atomic<long> misses{0};
    std::atomic<long> reads{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&] {
            while (!done.load()) {
                if (running.contains(1000) == Answer::No || running.contains(2000) == Answer::Yes)
                    ++misses;
                ++reads;
            }
        });
    }
    // Churn until the readers have looked many times (a loaded machine may
    // start them late), within a bound.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (int round = 0; (round < 50000 || reads.load() < 20000) && std::chrono::steady_clock::now() < deadline;
         ++round) {
        const int other = round % 7 + 1;
        running.add(1000);     // [1000, 1000]
        running.add(other);    // [1000, 1000, other]
        running.remove(1000);  // [other, 1000]
        running.remove(other); // [1000]
    }
    done = true;
    for (std::thread &t : readers)
        t.join();
    EXPECT_EQ(misses.load(), 0);
    EXPECT_GT(reads.load(), 0);
}
