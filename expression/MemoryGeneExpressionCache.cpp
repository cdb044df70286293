#include "expression/MemoryGeneExpressionCache.h"

#include "core/MemoryStream.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace
{
const std::uint64_t CLEAN_THRESHOLD = 4194304;
const std::uint64_t CLEAN_TARGET = 3 * 1048576;
} // namespace

MemoryGeneExpressionCache::MemoryGeneExpressionCache()
    : MemoryGeneExpressionCache([] { return std::time(nullptr); })
{
}

MemoryGeneExpressionCache::MemoryGeneExpressionCache(Clock clock)
    : m_clock(std::move(clock))
{
}

MemoryGeneExpressionCache::Entries::iterator MemoryGeneExpressionCache::Find(unsigned int id, GeneIdType type)
{
    const auto [first, last] = m_entries.equal_range(id);
    const auto found = std::find_if(first, last, [type](const auto& item) { return item.second.type == type; });
    return found == last ? m_entries.end() : found;
}

void MemoryGeneExpressionCache::Touch(Entry& entry)
{
    entry.lastUse = m_clock();
    entry.useOrder = m_nextUse++;
}

void MemoryGeneExpressionCache::AddGene(unsigned int id, int, GeneIdType type, const unsigned char* data,
                                        unsigned long size)
{
    auto found = Find(id, type);
    if (found == m_entries.end())
        found = m_entries.emplace(id, Entry());
    Entry& entry = found->second;
    m_totalBytes -= entry.bytes.size();
    if (data)
        entry.bytes.assign(data, data + size);
    else
        entry.bytes.clear();
    entry.type = type;
    Touch(entry);
    m_totalBytes += entry.bytes.size();
    CleanCache();
}

bool MemoryGeneExpressionCache::GetGene(unsigned int id, int, GeneIdType type, MemoryStream& out)
{
    const auto found = Find(id, type);
    if (found == m_entries.end() || found->second.bytes.size() > std::numeric_limits<unsigned int>::max())
        return false;
    Entry& entry = found->second;
    out.Resize(static_cast<unsigned int>(entry.bytes.size()));
    if (!entry.bytes.empty())
        std::memcpy(out.GetBuffer(), entry.bytes.data(), entry.bytes.size());
    Touch(entry);
    return true;
}

void MemoryGeneExpressionCache::RemoveGene(unsigned int id, int, GeneIdType type)
{
    const auto found = Find(id, type);
    if (found == m_entries.end())
        return;
    m_totalBytes -= found->second.bytes.size();
    m_entries.erase(found);
}

void MemoryGeneExpressionCache::CleanCache()
{
    if (m_totalBytes < CLEAN_THRESHOLD)
        return;
    std::vector<Entries::iterator> byUse;
    byUse.reserve(m_entries.size());
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
        byUse.push_back(it);
    std::sort(byUse.begin(), byUse.end(), [](Entries::iterator a, Entries::iterator b) {
        return a->second.lastUse != b->second.lastUse ? a->second.lastUse < b->second.lastUse
                                                      : a->second.useOrder < b->second.useOrder;
    });
    for (const Entries::iterator it : byUse)
    {
        if (m_totalBytes <= CLEAN_TARGET)
            break;
        m_totalBytes -= it->second.bytes.size();
        m_entries.erase(it);
    }
}
