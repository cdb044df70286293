#include "core/ThreadPhases.h"

#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

TEST(ThreadPhasesTest, EachPhaseSeesWhatEveryThreadWroteBefore)
{
    for (std::size_t threads : {0, 1, 2, 8, 33})
    {
        SCOPED_TRACE(threads);
        ThreadPhases phases(threads);
        const std::size_t count = phases.Threads();
        ASSERT_EQ(std::max<std::size_t>(1, threads), count);
        // Run again and again: a phase that started early would now and then miss a thread's mark.
        for (int run = 0; run < 20; ++run)
        {
            std::vector<std::size_t> marks(count, 0);
            std::vector<std::size_t> sums(count, 0);
            std::vector<std::size_t> seen(count, 0);
            phases.Run({[&](std::size_t thread) { marks[thread] = thread + 1; },
                        [&](std::size_t thread) { sums[thread] = std::accumulate(marks.begin(), marks.end(), 0u); },
                        [&](std::size_t thread) { seen[thread] = std::accumulate(sums.begin(), sums.end(), 0u); }});
            const std::size_t expected = count * (count + 1) / 2;
            EXPECT_EQ(std::vector<std::size_t>(count, expected), sums);
            EXPECT_EQ(std::vector<std::size_t>(count, count * expected), seen);
        }
    }
}

TEST(ThreadPhasesTest, AnErrorEndsTheJobAndReachesTheCaller)
{
    struct Case
    {
        std::size_t threads;
        std::vector<std::size_t> failing;
        const char* error;
    };
    // The lowest failing thread's error is the one thrown.
    const std::vector<Case> cases = {
        {1, {0}, "thread 0"}, {4, {3}, "thread 3"}, {8, {5, 2}, "thread 2"}, {8, {0, 7}, "thread 0"}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.error);
        ThreadPhases phases(c.threads);
        std::atomic<std::size_t> first{0};
        std::atomic<std::size_t> after{0};
        auto fail = [&](std::size_t thread) {
            for (std::size_t failing : c.failing)
            {
                if (thread == failing)
                    throw std::runtime_error("thread " + std::to_string(thread));
            }
        };
        try
        {
            phases.Run({[&](std::size_t) { ++first; }, fail, [&](std::size_t) { ++after; }});
            ADD_FAILURE() << "no error";
        }
        catch (const std::runtime_error& error)
        {
            EXPECT_STREQ(c.error, error.what());
        }
        EXPECT_EQ(c.threads, first.load());
        EXPECT_EQ(0u, after.load());
    }
}
