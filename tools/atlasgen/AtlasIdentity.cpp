#include "AtlasIdentity.h"

#include <cstdio>

namespace atlasgen
{

AtlasIdentity AtlasIdentity::ForId(unsigned int id)
{
    AtlasIdentity a;
    a.id = id;
    char code[16];
    std::snprintf(code, sizeof code, "%04u", id);
    a.project = code;
    a.spaces = {{"Adult", 1}};
    a.name = "Ostrel Atlas " + std::to_string(id);
    switch (id)
    {
    case 310:
        a.name = "Ostrel Adult Mouse";
        a.version = 3;
        a.spaces = {{"P56", 1}};
        a.search = SearchKind::Integrated;
        a.urlProjects = {a.project, "0378"};
        return a;
    case 378:
        a.name = "Ostrel Mouse Connectivity";
        a.version = 3;
        a.spaces = {{"P56", 1}};
        a.search = SearchKind::Integrated;
        break;
    case 350:
        a.name = "Ostrel Developing Mouse";
        a.version = 4;
        a.spaces = {{"E15.5", 1}, {"P14", 2}};
        a.search = SearchKind::IntegratedVersion4;
        break;
    case 351:
        a.name = "Ostrel Primate Microarray";
        a.version = 2;
        a.spaces = {{"D351-A", 1}, {"D351-B", 2}};
        a.microarray = true;
        break;
    case 50000:
        a.name = "Ostrel Waxholm Rat";
        a.spaces = {{"P56", 1}};
        a.basePath = "/rat";
        break;
    case 35100:
        a.name = "Ostrel Tractography";
        a.spaces = {{"DTI", 1}};
        break;
    default:
        break;
    }
    a.urlProjects = {a.project};
    return a;
}

} // namespace atlasgen
