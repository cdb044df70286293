#include "core/MemoryDefaultsStore.h"

bool MemoryDefaultsStore::HasValue(const std::string& key) const
{
    return values.count(key) != 0;
}

std::string MemoryDefaultsStore::GetValue(const std::string& key) const
{
    const auto found = values.find(key);
    return found == values.end() ? std::string() : found->second;
}

void MemoryDefaultsStore::SetValue(const std::string& key, const std::string& value)
{
    values[key] = value;
}

void MemoryDefaultsStore::Synchronize()
{
    ++syncCount;
}
