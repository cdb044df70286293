#pragma once

#include "AtlasContext.h"

#include <string>

namespace atlasgen
{

// Writes one complete installed atlas folder.
class AtlasWriter
{
public:
    explicit AtlasWriter(const AtlasContext& context)
        : c_(context)
    {
    }

    // Writes into folder, which must exist.
    void Write(const std::string& folder) const;

private:
    const AtlasContext& c_;
};

} // namespace atlasgen
