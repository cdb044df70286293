#pragma once

#include <string>
#include <vector>

namespace atlasgen
{

// Who an atlas is: the name, project, version, spaces and URL blocks that its id calls for. The ids
// that the viewer treats specially get the shape the viewer expects of them.
struct AtlasIdentity
{
    struct Space
    {
        std::string name;
        int id;
    };
    enum class SearchKind
    {
        Integrated,
        IntegratedVersion4,
        Browser
    };

    unsigned int id = 0;
    std::string name;
    std::string project;
    int version = 1;
    std::vector<Space> spaces;
    std::vector<std::string> urlProjects; // one URL block per project code, the atlas's own first
    SearchKind search = SearchKind::Browser;
    bool microarray = false;
    // Appended to the base URL of every URL block. The rat atlas's correlation request has the
    // path and query of the mouse atlases' request for space P56 but wants another grid size,
    // so its own path on the server tells the two apart.
    std::string basePath;

    static AtlasIdentity ForId(unsigned int id);
};

} // namespace atlasgen
