#pragma once

#include <string>

// The per-user key-value store behind UserPreferences. Values travel as text; UserPreferences owns the
// typing and the registered defaults, so a store only has to keep strings under keys. The platform layer
// supplies the persistent store; MemoryDefaultsStore stands in when none is installed.
class DefaultsStore
{
public:
    virtual ~DefaultsStore() = default;

    // Whether the user's store holds a value of its own for the key (registered defaults do not count).
    virtual bool HasValue(const std::string& key) const = 0;
    // The stored text, or an empty string when the key holds nothing.
    virtual std::string GetValue(const std::string& key) const = 0;
    // Takes effect at once for later reads; reaching the disk may wait for Synchronize.
    virtual void SetValue(const std::string& key, const std::string& value) = 0;
    // Writes pending changes to permanent storage.
    virtual void Synchronize() = 0;
};
