#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "AtlasTestFiles.h"
#include "atlas/BrainOntology.h"
#include "atlas/SearchConfig.h"
#include "atlas/SearchConfigReader.h"

namespace
{

std::shared_ptr<const BrainOntology> SmallOntology(const TempDir& dir)
{
    const std::string path = dir.Write("ontology_v2.csv", "abbreviation,parent,id,database_id,name\n"
                                                          "root,,5,997,Root\n"
                                                          "CTX,997,6,688,Cortex\n"
                                                          "HY,997,7,1097,Hypothalamus\n");
    return std::make_shared<const BrainOntology>(path.c_str(), true, true, true);
}

std::string FailureOf(const std::string& xml)
{
    TempDir dir;
    dir.Write("SearchDomains.xml", xml);
    return MessageOf<std::runtime_error>([&] { SearchConfig config(SmallOntology(dir), dir.Path()); });
}

} // namespace

TEST(SearchConfig, ReadsBothDomainListsInFileOrder)
{
    TempDir dir;
    dir.Write("SearchDomains.xml", "<?xml version=\"1.0\"?>\n"
                                   "<SearchDomains version=\"4\">\n"
                                   "  <Domain id=\"688\" indent=\"9\"/>\n"
                                   "  <AnatomicSearch>\n"
                                   "    <Domain id=\"997\"/>\n"
                                   "    <Domain id=\"688\" indent=\"1\"/>\n"
                                   "    <Domain id=\"-3\" indent=\"1\"/>\n"
                                   "    <Domain indent=\"1\"/>\n"
                                   "  </AnatomicSearch>\n"
                                   "  <Domain id=\"1097\" indent=\"2\"/>\n"
                                   "  <Quellar coronal=\"true\" sagittal=\"yes\">\n"
                                   "    <Domain id=\"1097\" indent=\"3\"/>\n"
                                   "    <Domain id=\"12345\"/>\n"
                                   "  </Quellar>\n"
                                   "</SearchDomains>\n");
    const SearchConfig config(SmallOntology(dir), dir.Path());
    EXPECT_EQ(4, config.GetVersion());
    EXPECT_TRUE(config.GetQuellarCoronalAllowed());
    EXPECT_FALSE(config.GetQuellarSagittalAllowed());

    // A domain after a section's end tag still belongs to that section.
    ASSERT_EQ(3, config.GetNumAnatomicSearchDomains());
    EXPECT_EQ("Root", config.GetAnatomicSearchDomain(0)->name);
    EXPECT_EQ(0, config.GetAnatomicSearchIndent(0));
    EXPECT_EQ("Cortex", config.GetAnatomicSearchDomain(1)->name);
    EXPECT_EQ(1, config.GetAnatomicSearchIndent(1));
    EXPECT_EQ("Hypothalamus", config.GetAnatomicSearchDomain(2)->name);

    ASSERT_EQ(2, config.GetNumQuellarDomains());
    EXPECT_EQ(1097ul, config.GetQuellarDomain(0)->databaseId);
    EXPECT_EQ(3, config.GetQuellarIndent(0));
    EXPECT_EQ("No Annotation", config.GetQuellarDomain(1)->name);
}

TEST(SearchConfig, StaysEmptyWithoutAFile)
{
    TempDir dir;
    const SearchConfig config(SmallOntology(dir), dir.Path());
    EXPECT_EQ(0, config.GetNumAnatomicSearchDomains());
    EXPECT_EQ(0, config.GetNumQuellarDomains());
    EXPECT_EQ(0, config.GetVersion());
    EXPECT_FALSE(config.GetQuellarCoronalAllowed());
}

TEST(SearchConfig, RefusesFilesWithoutBothListsOrNotWellFormed)
{
    EXPECT_EQ("Search configuration file is not in the expected format.",
              FailureOf("<SearchDomains><Quellar><Domain id=\"688\"/></Quellar></SearchDomains>"));
    EXPECT_EQ("Search configuration file is not in the expected format.",
              FailureOf("<SearchDomains><AnatomicSearch><Domain id=\"688\"/></AnatomicSearch></SearchDomains>"));
    EXPECT_EQ("Search configuration file is not in the expected format.", FailureOf("<SearchDomains/>"));
    EXPECT_EQ("Error parsing search configuration file.",
              FailureOf("<SearchDomains><AnatomicSearch><Domain id=\"688\"/>"));
    EXPECT_EQ("Error parsing search configuration file.", FailureOf(""));

    TempDir dir;
    dir.Write("SearchDomains.xml", "<SearchDomains/>");
    const std::string path = dir.File("SearchDomains.xml");
    SearchConfig config(SmallOntology(dir), dir.File("elsewhere"));
    EXPECT_EQ("Unexpected NULL pointer.",
              MessageOf<std::invalid_argument>([&] { SearchConfigReader reader(path.c_str(), nullptr); }));
    EXPECT_EQ("Search configuration file path not specified.",
              MessageOf<std::invalid_argument>([&] { SearchConfigReader reader(nullptr, &config); }));
    const std::string missing = dir.File("missing.xml");
    EXPECT_EQ("Search configuration file could not be opened.",
              MessageOf<std::runtime_error>([&] { SearchConfigReader reader(missing.c_str(), &config); }));
}
