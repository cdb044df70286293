#include "core/WorkStealingRanges.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <utility>
#include <vector>

namespace
{
// Each thread's indices, in the order it took them.
std::vector<std::vector<int>> TakeAll(WorkStealingRanges& ranges, bool slowFirstThread)
{
    std::vector<std::vector<int>> taken(ranges.Threads());
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < ranges.Threads(); ++t)
        threads.emplace_back([&, t] {
            for (int index; ranges.Next(t, index);)
            {
                taken[t].push_back(index);
                if (slowFirstThread && t == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    return taken;
}
} // namespace

TEST(WorkStealingRangesTest, EveryIndexIsHandedOutOnceInRunsOfAtLeastTheStealSize)
{
    struct Case
    {
        int extent;
        unsigned threads;
        int minimumSteal;
    };
    const std::vector<Case> cases = {{0, 4, 1},   {1, 1, 1},     {1, 8, 1},   {7, 3, 2},
                                     {450, 8, 4}, {1000, 33, 1}, {64, 2, 40}, {-5, 2, 1}};
    for (const Case& c : cases)
    {
        for (const bool slow : {false, true})
        {
            SCOPED_TRACE(testing::Message() << c.extent << " over " << c.threads << ", slow " << slow);
            WorkStealingRanges ranges(c.extent, c.threads, c.minimumSteal);
            const std::vector<std::vector<int>> taken = TakeAll(ranges, slow);
            std::vector<int> count(std::size_t(std::max(0, c.extent)), 0);
            for (unsigned t = 0; t < taken.size(); ++t)
            {
                const std::vector<int>& mine = taken[t];
                for (std::size_t i = 0; i < mine.size(); ++i)
                {
                    ASSERT_GE(mine[i], 0);
                    ASSERT_LT(mine[i], c.extent);
                    ++count[std::size_t(mine[i])];
                    // A new run starts only on the thread's own share or on a stolen half.
                    const bool runStart = i == 0 || mine[i] != mine[i - 1] + 1;
                    if (runStart && i > 0)
                    {
                        std::size_t length = 1;
                        while (i + length < mine.size() && mine[i + length] == mine[i] + int(length))
                            ++length;
                        EXPECT_GE(int(length), c.minimumSteal) << "steal at " << mine[i] << " by " << t;
                    }
                }
            }
            EXPECT_EQ(std::vector<int>(count.size(), 1), count);
            if (slow && c.extent >= 450)
            {
                EXPECT_LT(taken[0].size(), std::size_t(c.extent) / c.threads) << "nobody relieved the slow thread";
            }
        }
    }
}

TEST(WorkStealingRangesTest, AnIdleThreadTakesTheLaterHalfOfTheLargestShare)
{
    WorkStealingRanges ranges(10, 2, 1);
    std::vector<int> second;
    for (int index; ranges.Next(1, index);)
        second.push_back(index);
    // Its own 5-9, then 3-4 of the first thread's 0-4, then 2, then 1; 0 is left, too short to halve.
    EXPECT_EQ((std::vector<int>{5, 6, 7, 8, 9, 3, 4, 2, 1}), second);
    int index = -1;
    EXPECT_TRUE(ranges.Next(0, index));
    EXPECT_EQ(0, index);
    EXPECT_FALSE(ranges.Next(0, index));
    EXPECT_FALSE(ranges.Next(1, index));
}
