#include <gtest/gtest.h>

#include "expression/GeneExpression.h"

#include <sstream>

namespace
{
struct ConstructorCase
{
    const char* what;
    std::unique_ptr<GeneExpression> (*make)();
    bool loaded;
    bool downloadable;
    float score;
    int plane;
};

const ConstructorCase kConstructors[] = {
    {"empty", [] { return std::make_unique<GeneExpression>(); }, true, true, -1.0f, -1},
    {"microarray base", [] { return std::make_unique<GeneExpression>("n", "s"); }, false, true, -1.0f, -1},
    {"search result", [] { return std::make_unique<GeneExpression>("n", "s", "0310", "dir", "P4", 1, 7, 0, 0.5f); },
     false, true, 0.5f, 1},
    {"search result without ids",
     [] { return std::make_unique<GeneExpression>("n", "s", "0310", "", "", 0, 0, 0, 0.5f); }, false, false, 0.5f, 0},
    {"gene list record", [] { return std::make_unique<GeneExpression>("n", "s", "0310", 0, 12, 2.0f); }, false, true,
     2.0f, -1},
    {"gene list record without ids", [] { return std::make_unique<GeneExpression>("n", "s", "0310", 0, 0, 2.0f); },
     false, false, 2.0f, -1},
};
} // namespace

TEST(GeneExpressionModel, ConstructorsSetTheirDefaults)
{
    for (const ConstructorCase& c : kConstructors)
    {
        SCOPED_TRACE(c.what);
        const std::unique_ptr<GeneExpression> gene = c.make();
        EXPECT_EQ(gene->IsLoaded(), c.loaded);
        EXPECT_EQ(gene->IsDownloadable(), c.downloadable);
        EXPECT_EQ(gene->GetScore(), c.score);
        EXPECT_EQ(gene->GetPlaneOfSection(), c.plane);
        EXPECT_EQ(gene->GetIntensityDisplayScale(), 255.0f);
        EXPECT_EQ(gene->GetDisplayRange(), Range(0.0f, 255.0f));
        EXPECT_EQ(gene->GetMean(), 0.0f);
        EXPECT_EQ(gene->GetStandardDeviation(), 1.0f);
        EXPECT_EQ(gene->GetDataType(), GeneExpression::GENE_EXPRESSION);
    }
}

TEST(GeneExpressionModel, AnEmptyDataSetAnswersNullEverywhere)
{
    GeneExpression gene;
    EXPECT_EQ(gene.GetBrainFeatures(nullptr), nullptr);
    EXPECT_EQ(gene.GetExpressors(nullptr), nullptr);
    EXPECT_FALSE(gene.GetProjectionData(nullptr));
    EXPECT_EQ(gene.GetExpressorAtGrid(1, nullptr), nullptr);
    EXPECT_EQ(gene.GetAtlasSpace(0), nullptr);
    EXPECT_EQ(gene.GetAtlasSpace(-1), nullptr);
    std::stringstream out;
    Expressor expressor;
    gene.PrintSelectionInfo(out, &expressor, nullptr);
    EXPECT_EQ(out.str(), "");
    float location[3] = {1, 2, 3};
    gene.GetProbeLocationForExpressor(nullptr, nullptr, location);
    EXPECT_EQ(location[0] + location[1] + location[2], 0.0f);
}
