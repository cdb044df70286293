#pragma once

#include "AtlasContext.h"

#include <string>

namespace atlasgen
{

// The files at the top of an atlas folder: configuration, ontology, search domains, colour tables,
// the compass and (for the microarray atlas) the probe index.
class RootFiles
{
public:
    explicit RootFiles(const AtlasContext& context)
        : c_(context)
    {
    }

    void Write(const std::string& folder) const;

    std::string InfoXml() const;
    std::string Ontology() const;
    std::string SearchDomains() const;
    std::string ProbeIndex() const;
    static std::string Colormap(const std::string& name);

private:
    std::string Space(int index) const;
    std::string UrlBlock(const std::string& project) const;
    int Level(int structure) const;
    // 100 or 200 for a structure of the sets that the mouse atlases mark by level, else 0.
    int StructureSetLevel(const std::string& abbreviation) const;
    void WriteCompass(const std::string& path) const;

    const AtlasContext& c_;
};

} // namespace atlasgen
