#include "core/WorkStealingRanges.h"

#include <algorithm>
#include <climits>

namespace
{
std::uint64_t Pack(std::int64_t next, std::int64_t end)
{
    return std::uint64_t(next) << 32 | std::uint64_t(end);
}

std::int64_t NextOf(std::uint64_t share)
{
    return std::int64_t(share >> 32);
}

std::int64_t EndOf(std::uint64_t share)
{
    return std::int64_t(share & 0xffffffffu);
}
} // namespace

WorkStealingRanges::WorkStealingRanges(int extent, unsigned threads, int minimumSteal)
    : m_threads(std::max(1u, std::min<unsigned>(threads, INT_MAX)))
    , m_minimumSteal(std::max(1, minimumSteal))
    , m_shares(new std::atomic<std::uint64_t>[m_threads])
{
    const std::int64_t total = std::max(0, extent);
    for (unsigned t = 0; t < m_threads; ++t)
        m_shares[t].store(Pack(total * t / m_threads, total * (t + 1) / m_threads));
}

bool WorkStealingRanges::Next(unsigned thread, int& index)
{
    std::atomic<std::uint64_t>& own = m_shares[thread];
    std::uint64_t share = own.load();
    while (NextOf(share) < EndOf(share))
    {
        if (own.compare_exchange_weak(share, Pack(NextOf(share) + 1, EndOf(share))))
        {
            index = int(NextOf(share));
            return true;
        }
    }
    return Steal(thread, index);
}

// A share's next index, once taken, never comes back, so a share seen holding indices is either still the
// same share or has changed: the compare-and-swap cannot mistake an old share for the current one.
bool WorkStealingRanges::Steal(unsigned thread, int& index)
{
    for (;;)
    {
        unsigned victim = m_threads;
        std::uint64_t largest = 0;
        std::int64_t largestLeft = 0;
        for (unsigned t = 0; t < m_threads; ++t)
        {
            const std::uint64_t share = m_shares[t].load();
            const std::int64_t left = EndOf(share) - NextOf(share);
            if (left > largestLeft)
            {
                victim = t;
                largest = share;
                largestLeft = left;
            }
        }
        const std::int64_t taken = largestLeft / 2;
        if (victim == m_threads || taken < m_minimumSteal)
            return false;
        const std::int64_t first = EndOf(largest) - taken;
        if (!m_shares[victim].compare_exchange_strong(largest, Pack(NextOf(largest), first)))
            continue;
        // Only this thread writes its own share while the share is empty: thieves skip empty shares.
        m_shares[thread].store(Pack(first + 1, EndOf(largest)));
        index = int(first);
        return true;
    }
}
