#include <string>

#include <gtest/gtest.h>

#include "AtlasFixture.h"
#include "atlas/Atlas.h"
#include "atlas/Colormap.h"
#include "atlas/GeneColorModes.h"

namespace
{

std::vector<int> Entry(const Colormap& colormap, unsigned int index)
{
    const unsigned char* rgb = &colormap.entries.at(3 * index);
    return {rgb[0], rgb[1], rgb[2]};
}

std::string Ramp(unsigned int count)
{
    std::string text;
    for (unsigned int i = 0; i < count; ++i)
        text += std::to_string(i) + " " + std::to_string(255 - i) + " 7\n";
    return text;
}

} // namespace

TEST(Colormap, LoadsTriplesWhateverTheLineBreaks)
{
    TempDir dir;
    Colormap colormap;
    colormap.Load(dir.Write("a.map", "0 0 0\t0 0 0 1\n2 3\n300 -1 5").c_str());
    EXPECT_TRUE(colormap.valid);
    EXPECT_EQ((std::vector<int>{0, 0, 0}), Entry(colormap, 1));
    EXPECT_EQ((std::vector<int>{1, 2, 3}), Entry(colormap, 2));
    // Values keep their low 8 bits; the last line needs no line feed.
    EXPECT_EQ((std::vector<int>{44, 255, 5}), Entry(colormap, 3));
    EXPECT_EQ(2, colormap.firstColor);
}

TEST(Colormap, ShortTablesRepeatTheirLastColourUpTo256Entries)
{
    TempDir dir;
    Colormap colormap;
    // The incomplete second triple is dropped.
    colormap.Load(dir.Write("five.map", "1 2 3 4 5").c_str());
    ASSERT_EQ(768u, colormap.entries.size());
    EXPECT_EQ((std::vector<int>{1, 2, 3}), Entry(colormap, 0));
    EXPECT_EQ((std::vector<int>{1, 2, 3}), Entry(colormap, 255));
    EXPECT_EQ(2, colormap.meanValue);
    EXPECT_EQ(0, colormap.firstColor);

    Colormap full;
    full.Load(dir.Write("full.map", Ramp(256)).c_str());
    EXPECT_EQ(768u, full.entries.size());
    EXPECT_EQ((std::vector<int>{255, 0, 7}), Entry(full, 255));
    EXPECT_EQ(1, full.firstColor);
}

TEST(Colormap, FirstColourIsTheFirstColouredEntryAfterBlack)
{
    TempDir dir;
    Colormap colormap;
    colormap.Load(dir.Write("a.map", "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 9 0 0").c_str());
    EXPECT_EQ(5, colormap.firstColor);
}

TEST(Colormap, FilesWithoutAColourAreNotValid)
{
    TempDir dir;
    Colormap empty;
    empty.Load(dir.Write("empty.map", "").c_str());
    EXPECT_FALSE(empty.valid);
    EXPECT_TRUE(empty.entries.empty());

    Colormap partial;
    partial.Load(dir.Write("two.map", " 4 5 \n").c_str());
    EXPECT_FALSE(partial.valid);
    EXPECT_TRUE(partial.entries.empty());
}

TEST(Colormap, UnreadableFilesNameTheirPath)
{
    TempDir dir;
    const std::string word = dir.Write("word.map", "1 2 3\n4 five 6\n");
    EXPECT_EQ("Unexpected end of colormap file: " + word, MessageOf<std::runtime_error>([&] {
                  Colormap colormap;
                  colormap.Load(word.c_str());
              }));
    const std::string huge = dir.Write("huge.map", "1 2 99999999999999999999\n");
    EXPECT_EQ("Unexpected end of colormap file: " + huge, MessageOf<std::runtime_error>([&] {
                  Colormap colormap;
                  colormap.Load(huge.c_str());
              }));
    const std::string missing = dir.File("missing.map");
    EXPECT_EQ("Colormap file could not be opened: " + missing, MessageOf<std::runtime_error>([&] {
                  Colormap colormap;
                  colormap.Load(missing.c_str());
              }));
}

TEST(Colormap, BuiltInTables)
{
    Colormap jet;
    jet.MakeJet();
    ASSERT_EQ(768u, jet.entries.size());
    EXPECT_TRUE(jet.valid);
    EXPECT_EQ(123, jet.meanValue);
    EXPECT_EQ((std::vector<int>{0, 0, 131}), Entry(jet, 0));
    EXPECT_EQ((std::vector<int>{0, 128, 255}), Entry(jet, 63));
    EXPECT_EQ((std::vector<int>{0, 131, 255}), Entry(jet, 64));
    EXPECT_EQ((std::vector<int>{128, 255, 131}), Entry(jet, 127));
    EXPECT_EQ((std::vector<int>{131, 255, 128}), Entry(jet, 128));
    EXPECT_EQ((std::vector<int>{131, 0, 0}), Entry(jet, 255));

    Colormap gray;
    gray.MakeGrayRamp();
    EXPECT_EQ(128, gray.meanValue);
    EXPECT_EQ((std::vector<int>{200, 200, 200}), Entry(gray, 200));

    Colormap black;
    black.Create(3);
    black.CalculateMeanValue();
    EXPECT_EQ(9u, black.entries.size());
    EXPECT_EQ(0, black.meanValue);
    EXPECT_TRUE(black.valid);
}

class GeneColorModesTest : public ::testing::Test
{
protected:
    std::unique_ptr<Atlas> Make(const std::map<std::string, std::string>& maps, const std::string& defaultName = "")
    {
        HandAtlas hand;
        hand.defaultColormap = defaultName;
        const std::string folder = root.Folder("a");
        hand.Write(folder);
        for (const auto& [file, text] : maps)
            WriteBytes(folder + "/Colormaps/" + file, text);
        return std::make_unique<Atlas>(folder);
    }

    AtlasRoot root;
};

TEST_F(GeneColorModesTest, OptionalModesFollowTheirFiles)
{
    const std::unique_ptr<Atlas> atlas = Make({{"bluered.map", Ramp(256)}});
    const GeneColorModes& modes = atlas->GetGeneColorModes();
    EXPECT_EQ(5, modes.GetMode("bluered"));
    EXPECT_EQ(modes.GetBlueRedColormap(), modes.GetColormap(5));
    EXPECT_TRUE(modes.GetZScore(5));
    EXPECT_TRUE(modes.IsValidMode(5));
    EXPECT_FALSE(modes.IsValidMode(4));
    EXPECT_FALSE(modes.IsValidMode(6));
    EXPECT_FALSE(modes.IsValidMode("ryb"));
    EXPECT_EQ(GeneColorModes::NO_MODE, modes.GetMode("Jet"));
    EXPECT_EQ(3, modes.GetMode("jet"));
    EXPECT_EQ("atlas", modes.GetName(1));
    EXPECT_EQ("", modes.GetName(-1));
    EXPECT_EQ(nullptr, modes.GetColormap(0));
    EXPECT_EQ(nullptr, modes.GetColormap(-3));
    // Without "Expression.map" mode 2 exists but has no usable colormap.
    EXPECT_TRUE(modes.IsValidMode("expression"));
    EXPECT_EQ(nullptr, modes.GetColormap("expression"));
    // Without "Jet.map" the built-in jet serves, and it is the default colormap.
    EXPECT_EQ(123, modes.GetJetColormap()->meanValue);
    EXPECT_EQ(modes.GetJetColormap(), atlas->GetDefaultColormap());
}

TEST_F(GeneColorModesTest, EmptyJetFileFallsBackToTheBuiltInJet)
{
    const std::unique_ptr<Atlas> atlas = Make({{"Jet.map", ""}, {"rg.map", ""}}, "redgreen");
    const GeneColorModes& modes = atlas->GetGeneColorModes();
    EXPECT_TRUE(modes.GetJetColormap()->valid);
    EXPECT_EQ(123, modes.GetJetColormap()->meanValue);
    EXPECT_FALSE(modes.IsValidMode("redgreen"));
    EXPECT_EQ(nullptr, atlas->GetDefaultColormap());
}

TEST_F(GeneColorModesTest, UnreadableColormapFailsTheAtlas)
{
    EXPECT_EQ("Unexpected end of colormap file: " + root.Folder("a") + "/Colormaps/ryb.map",
              MessageOf<std::runtime_error>([&] {
                  Make({{"ryb.map", "1 2 x"}});
              }));
}
