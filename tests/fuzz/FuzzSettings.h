#pragma once

#include "core/MemoryDefaultsStore.h"
#include "core/PlatformHooks.h"
#include "core/ResourcePath.h"
#include "core/UserPreferences.h"

#include <string>

// The settings of a harness process, in memory: installed before the first reader asks for them.
inline MemoryDefaultsStore& FuzzSettings()
{
    static MemoryDefaultsStore* const store = [] {
        static MemoryDefaultsStore made;
        PlatformHooks::SetDefaultsStore(&made);
        UserPreferences::ResetPreferences();
        return &made;
    }();
    return *store;
}

// Changes one setting and drops what was derived from the settings before.
inline void SetFuzzSetting(const std::string& key, const std::string& value)
{
    FuzzSettings().SetValue(key, value);
    UserPreferences::ResetPreferences();
    ResourcePath::ClearCache();
}
