#pragma once

#include "expression/GeneExpressionCache.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <vector>

// Data-set bytes in memory, bounded in size: once the entries hold 4 MiB or more, the least recently used
// go until 3 MiB or less remain. Entries used within the same second go in the order of their use.
class MemoryGeneExpressionCache : public GeneExpressionCache
{
public:
    // The clock gives calendar time in whole seconds; tests pass their own.
    using Clock = std::function<std::time_t()>;

    MemoryGeneExpressionCache();
    explicit MemoryGeneExpressionCache(Clock clock);
    ~MemoryGeneExpressionCache() override = default;

    void AddGene(unsigned int id, int, GeneIdType type, const unsigned char* data, unsigned long size) override;
    bool GetGene(unsigned int id, int, GeneIdType type, MemoryStream& out) override;
    void RemoveGene(unsigned int id, int, GeneIdType type) override;
    void CleanCache() override;

    std::size_t GetNumEntries() const { return m_entries.size(); }
    std::uint64_t GetTotalBytes() const { return m_totalBytes; }

private:
    struct Entry
    {
        std::time_t lastUse = 0;
        // Orders uses within one second.
        std::uint64_t useOrder = 0;
        GeneIdType type = IMAGE_SERIES_ID;
        std::vector<unsigned char> bytes;
    };
    using Entries = std::multimap<unsigned int, Entry>;

    Entries::iterator Find(unsigned int id, GeneIdType type);
    void Touch(Entry& entry);

    Entries m_entries;
    std::uint64_t m_totalBytes = 0;
    std::uint64_t m_nextUse = 0;
    Clock m_clock;
};
