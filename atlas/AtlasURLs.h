#pragma once

#include <string>

// One project's URL templates of an atlas, as Info.xml gives them. A template keeps its own
// placeholders numbered from %1%; the server's base is already filled in.
struct AtlasURLs
{
    std::string projectCode;
    std::string host;
    std::string grid;
    std::string imageSeriesDisplay;
    std::string imageViewer;
    std::string atlasImageViewer;
    std::string multiExperimentViewer;
    std::string imageTile;
    std::string imageService;
    std::string geneSearch;
    std::string differentialSearch;
    std::string correlationSearch;
};
