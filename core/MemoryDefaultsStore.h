#pragma once

#include "core/DefaultsStore.h"

#include <map>
#include <string>

// A DefaultsStore that lives and dies with the process: the store of tools and tests, and the fallback
// while no platform store is installed.
class MemoryDefaultsStore : public DefaultsStore
{
public:
    bool HasValue(const std::string& key) const override;
    std::string GetValue(const std::string& key) const override;
    void SetValue(const std::string& key, const std::string& value) override;
    void Synchronize() override;

    // How many times Synchronize was called: lets tests see that a save reached the disk step.
    int GetSyncCount() const { return syncCount; }

private:
    std::map<std::string, std::string> values;
    int syncCount = 0;
};
