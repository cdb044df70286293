#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

// Hands out the indices of [0, extent) to a fixed set of threads, one at a time. Each thread starts on an
// equal contiguous share and walks it in order; a thread whose share is used up takes the later half of
// the largest share left. A thread the system delays is thus relieved of its work by the others, while
// every thread still walks long contiguous runs: work that must prepare before it can start a run (such
// as the slices a band of a 3-D filter needs beyond its own) prepares once per share and once per steal
// instead of once per small band.
class WorkStealingRanges
{
public:
    // A share is taken only while its later half holds at least minimumSteal indices.
    WorkStealingRanges(int extent, unsigned threads, int minimumSteal);

    unsigned Threads() const { return m_threads; }

    // The next index for thread (from 0 to Threads() - 1): false once no index is left that it may take.
    // Every index is handed out exactly once. An index one past the thread's previous one continues its
    // run; any other starts a new run.
    bool Next(unsigned thread, int& index);

private:
    bool Steal(unsigned thread, int& index);

    const unsigned m_threads;
    const int m_minimumSteal;
    // Per thread, the next index of its share in the high 32 bits and the share's end in the low ones:
    // a thief shortens the end while the owner advances the next, both with one compare-and-swap.
    std::unique_ptr<std::atomic<std::uint64_t>[]> m_shares;
};
