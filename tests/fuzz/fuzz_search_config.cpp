#include "atlas/BrainOntology.h"
#include "atlas/SearchConfig.h"

#include "tests/fuzz/FuzzTempFile.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>

namespace
{
std::shared_ptr<const BrainOntology> SmallOntology()
{
    static const char text[] = "abbreviation,parent,id,database_id,name\n"
                               "root,,5,997,Root\n"
                               "CTX,997,6,688,Cortex\n"
                               "HY,997,7,1097,Hypothalamus\n";
    const std::string path =
        FuzzTempFile::Write("ontology_v2.csv", reinterpret_cast<const std::uint8_t*>(text), std::strlen(text));
    static const std::shared_ptr<const BrainOntology> ontology =
        std::make_shared<const BrainOntology>(path.c_str(), true, true, true);
    return ontology;
}
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::shared_ptr<const BrainOntology> ontology = SmallOntology();
    FuzzTempFile::Write("SearchDomains.xml", data, size);
    try
    {
        const SearchConfig config(ontology, FuzzTempFile::Folder());
        for (int i = 0; i < config.GetNumAnatomicSearchDomains(); ++i)
            config.GetAnatomicSearchDomain(i);
        for (int i = 0; i < config.GetNumQuellarDomains(); ++i)
            config.GetQuellarDomain(i);
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
