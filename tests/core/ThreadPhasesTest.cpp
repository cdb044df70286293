#include "core/ThreadPhases.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

TEST(ThreadPhasesTest, EachPhaseSeesWhatEveryPartWroteBefore)
{
    for (std::size_t threads : {0, 1, 2, 8, 33})
    {
        SCOPED_TRACE(threads);
        ThreadPhases phases(threads);
        ASSERT_EQ(std::max<std::size_t>(1, threads), phases.Threads());
        for (int run = 0; run < 5; ++run)
        {
            constexpr std::size_t kMarks = 50;
            std::vector<std::size_t> marks(kMarks, 0);
            std::vector<std::size_t> sums(7, 0);
            std::vector<std::size_t> seen(3, 0);
            phases.Run(
                {{kMarks,
                  [&](std::size_t part) {
                      // A slow part: the next phase must wait for it.
                      if (part == kMarks / 2)
                          std::this_thread::sleep_for(std::chrono::microseconds(200));
                      marks[part] = part + 1;
                  }},
                 {0, [](std::size_t) { FAIL() << "a phase of no parts ran"; }},
                 {sums.size(), [&](std::size_t part) { sums[part] = std::accumulate(marks.begin(), marks.end(), 0u); }},
                 {seen.size(), [&](std::size_t part) { seen[part] = std::accumulate(sums.begin(), sums.end(), 0u); }}});
            const std::size_t expected = kMarks * (kMarks + 1) / 2;
            EXPECT_EQ(std::vector<std::size_t>(sums.size(), expected), sums);
            EXPECT_EQ(std::vector<std::size_t>(seen.size(), sums.size() * expected), seen);
        }
    }
}

TEST(ThreadPhasesTest, AnErrorEndsTheJobAfterItsPhaseAndReachesTheCaller)
{
    struct Case
    {
        std::size_t threads;
        std::vector<std::size_t> failing;
        const char* error;
    };
    // Every part of the failing phase runs; the lowest failing part's error is the one thrown.
    const std::vector<Case> cases = {{1, {0}, "part 0"},
                                     {4, {9}, "part 9"},
                                     {8, {15, 2}, "part 2"},
                                     {8, {0, 7}, "part 0"},
                                     {3, {11, 10, 1}, "part 1"}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.error);
        ThreadPhases phases(c.threads);
        constexpr std::size_t kParts = 16;
        std::atomic<std::size_t> first{0};
        std::atomic<std::size_t> failingPhase{0};
        std::atomic<std::size_t> after{0};
        auto fail = [&](std::size_t part) {
            ++failingPhase;
            for (std::size_t failing : c.failing)
            {
                if (part == failing)
                    throw std::runtime_error("part " + std::to_string(part));
            }
        };
        try
        {
            phases.Run(
                {{kParts, [&](std::size_t) { ++first; }}, {kParts, fail}, {kParts, [&](std::size_t) { ++after; }}});
            ADD_FAILURE() << "no error";
        }
        catch (const std::runtime_error& error)
        {
            EXPECT_STREQ(c.error, error.what());
        }
        EXPECT_EQ(kParts, first.load());
        EXPECT_EQ(kParts, failingPhase.load());
        EXPECT_EQ(0u, after.load());
    }
}
