#pragma once

// The installed atlases and data-set files of the expression tests. The build writes them once (tiny
// atlases 310, 350 and 378, the demo server's data sets, zips for each failure and numpy's expectations);
// each test installs the atlases into a folder of its own, linked rather than copied, so that the
// caches the program derives in the atlases' "Local" folders are never shared between test processes.

#include "TestSupport.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasFixture.h"
#include "atlas/AtlasSet.h"
#include "atlas/AtlasSpace.h"
#include "core/MemoryStreamRef.h"
#include "expression/GeneExpression.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

inline std::string FixturePath(const std::string& relative)
{
#ifdef CORVANE_EXPRESSION_FIXTURES
    return std::string(CORVANE_EXPRESSION_FIXTURES) + "/" + relative;
#else
    return relative;
#endif
}

inline bool HaveFixtures()
{
#ifdef CORVANE_EXPRESSION_FIXTURES
    return true;
#else
    return false;
#endif
}

inline std::string FixtureBytes(const std::string& relative)
{
    return ReadBytes(FixturePath(relative));
}

// One line of a tab-separated manifest, split.
inline std::vector<std::vector<std::string>> ReadManifest(const std::string& relative)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(FixtureBytes(relative));
    for (std::string line; std::getline(lines, line);)
    {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');)
            fields.push_back(field);
        if (line.back() == '\t')
            fields.emplace_back();
        rows.push_back(fields);
    }
    return rows;
}

class DataSetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!HaveFixtures())
            GTEST_SKIP() << "the data-set fixtures are not part of this build";
        for (const char* id : {"310", "350", "378"})
        {
            const std::string source = FixturePath(std::string("atlases/atlas") + id);
            const std::string target = m_root.Folder(std::string("atlas") + id);
            fs::create_directories(target);
            for (const fs::directory_entry& entry : fs::directory_iterator(source))
                if (entry.path().filename() != "Local")
                    fs::create_symlink(entry.path(), target + "/" + entry.path().filename().string());
        }
        AtlasSet::GetAtlases()->Reload();
        ASSERT_EQ(AtlasSet::GetAtlases()->GetNumAtlases(), 3);
    }

    static AtlasSpace* Space(const char* project, const char* name) { return AtlasSet::GetAtlasSpace(project, name); }

    // Decodes a fixture file as downloaded bytes.
    static std::unique_ptr<GeneExpression> Decode(const std::string& relative)
    {
        const std::string bytes = FixtureBytes(relative);
        return std::make_unique<GeneExpression>(bytes.data(), bytes.size());
    }

private:
    AtlasRoot m_root;
};
