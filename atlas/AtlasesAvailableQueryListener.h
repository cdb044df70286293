#pragma once

#include <string>

class AtlasesAvailableQuery;

// Hears how a catalogue query ended, on the main thread; exactly one of the two calls comes. The listener
// may delete the query inside either call.
class AtlasesAvailableQueryListener
{
public:
    virtual ~AtlasesAvailableQueryListener() = default;
    virtual void AtlasesAvailableQueryComplete(const AtlasesAvailableQuery* query) = 0;
    virtual void AtlasesAvailableQueryError(const AtlasesAvailableQuery* query, const std::string& message) = 0;
};
