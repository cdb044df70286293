#include "DataSetFixture.h"

#include "atlas/AnnotationLabel.h"
#include "atlas/BrainOntology.h"
#include "core/Image3d.h"

#include <cmath>

namespace
{
// A data set whose expressors the test places by hand.
class HandMadeDataSet : public GeneExpression
{
public:
    HandMadeDataSet()
        : GeneExpression("Hand made", "Hnd", "0310", 0, 0, 1.0f)
    {
    }

    void Add(AtlasSpace* space, std::vector<Expressor> cells)
    {
        AddAtlasSpace(space);
        for (std::size_t i = 0; i < cells.size(); ++i)
            cells[i].id = static_cast<unsigned int>(i + 1) * 2;
        *GetExpressors(space) = std::move(cells);
    }
    using GeneExpression::UpdateExpressors;
};

Expressor Cell(float x, float y, float z, float intensity)
{
    Expressor e;
    e.position[0] = x;
    e.position[1] = y;
    e.position[2] = z;
    e.intensity = intensity;
    return e;
}

// A view voxel of the space whose annotation value is (or is not, when zero is asked for) 0.
std::vector<float> VoxelWithValue(AtlasSpace* space, bool zero)
{
    Image3d* annotation = space->GetAnnotationImage();
    const unsigned int* dims = space->GetViewDimensions();
    const float* res = space->GetViewResolution();
    for (unsigned int z = 0; z < dims[2]; ++z)
        for (unsigned int y = 0; y < dims[1]; ++y)
            for (unsigned int x = 0; x < dims[0]; ++x)
                if ((annotation->GetValue(x * res[0], y * res[1], z * res[2]) == 0.0f) == zero)
                    return {float(x), float(y), float(z)};
    return {};
}
} // namespace

TEST_F(DataSetTest, StructuresAreAssignedOnceAndNoAnnotationIsNoStructure)
{
    AtlasSpace* space = Space("0310", "P56");
    const std::vector<float> outside = VoxelWithValue(space, true);
    const std::vector<float> inside = VoxelWithValue(space, false);
    ASSERT_EQ(outside.size(), 3u);
    ASSERT_EQ(inside.size(), 3u);

    HandMadeDataSet gene;
    gene.Add(space, {Cell(outside[0], outside[1], outside[2], 10.0f), Cell(inside[0], inside[1], inside[2], 30.0f),
                     Cell(inside[0], inside[1], inside[2], Expressor::INJECTION_SITE_INTENSITY)});
    EXPECT_EQ(gene.GetLabel(), "Hnd");
    gene.UpdateExpressors(nullptr, nullptr);
    const std::vector<Expressor>& cells = *gene.GetExpressors(space);
    // Outside every structure: no label and no feature, but its intensity still counts.
    EXPECT_EQ(cells[0].label, nullptr);
    ASSERT_NE(cells[1].label, nullptr);
    EXPECT_EQ(cells[2].label, cells[1].label);
    const BrainFeature& feature = (*gene.GetBrainFeatures(space))[cells[1].label->index];
    ASSERT_EQ(feature.expressors.size(), 2u);
    EXPECT_EQ(feature.expressors[0], &cells[1]);
    EXPECT_TRUE((*gene.GetBrainFeatures(space))[0].expressors.empty());
    EXPECT_FLOAT_EQ(gene.GetMean(), 20.0f);
    EXPECT_FLOAT_EQ(gene.GetStandardDeviation(), 10.0f);
    EXPECT_TRUE(gene.IsLoaded());

    // A second call leaves the space as it is.
    (*gene.GetExpressors(space))[0].label = cells[1].label;
    gene.UpdateExpressors(nullptr, nullptr);
    EXPECT_EQ(feature.expressors.size(), 2u);

    // Ids are 2, 4, 6: between them there is nothing.
    EXPECT_EQ(gene.GetExpressorAtGrid(4, space), &cells[1]);
    EXPECT_EQ(gene.GetExpressorAtGrid(3, space), nullptr);
    EXPECT_EQ(gene.GetExpressorAtGrid(7, space), nullptr);
    EXPECT_EQ(gene.GetExpressorAtGrid(4, nullptr), nullptr);
    EXPECT_FALSE(gene.AddAtlasSpace(space));
}

TEST_F(DataSetTest, EqualIntensitiesHaveNoDeviationRatherThanNaN)
{
    AtlasSpace* space = Space("0310", "P56");
    HandMadeDataSet gene;
    gene.Add(space, std::vector<Expressor>(1000, Cell(1, 1, 1, 0.1f)));
    gene.UpdateExpressors(nullptr, nullptr);
    EXPECT_FLOAT_EQ(gene.GetMean(), 0.1f);
    EXPECT_EQ(gene.GetStandardDeviation(), 0.0f);
}

TEST_F(DataSetTest, LabelsOfSpacesAndSlimmingDown)
{
    struct Case
    {
        const char* project;
        const char* space;
        const char* label;
    };
    for (const Case& c : {Case{"0310", "P56", "Hnd"}, Case{"0350", "P14", "Hnd (P14)"}})
    {
        HandMadeDataSet gene;
        gene.Add(Space(c.project, c.space), {Cell(1, 1, 1, 5.0f)});
        EXPECT_EQ(gene.GetLabel(), c.label);
    }

    const std::unique_ptr<GeneExpression> gene = Decode("sets/gene-310.zip");
    AtlasSpace* space = gene->GetAtlasSpace(0);
    EXPECT_FALSE(gene->GetImageSeries().GetImages().empty());
    gene->SlimDown();
    EXPECT_FALSE(gene->IsLoaded());
    EXPECT_EQ(gene->GetAtlasSpace(0), space);
    EXPECT_TRUE(gene->GetExpressors(space)->empty());
    EXPECT_TRUE(gene->GetBrainFeatures(space)->empty());
    EXPECT_TRUE(gene->GetImageSeries().GetImages().empty());

    // Without ids or storage it could not be downloaded again: it stays loaded.
    HandMadeDataSet local;
    local.Add(space, {Cell(1, 1, 1, 5.0f)});
    local.UpdateExpressors(nullptr, nullptr);
    local.SlimDown();
    EXPECT_TRUE(local.IsLoaded());
}

TEST_F(DataSetTest, WebPagesOfTheDataSet)
{
    const std::unique_ptr<GeneExpression> gene = Decode("sets/gene-310.zip");
    // Without a page of its own, the atlas template names it; without a space, nothing does.
    EXPECT_EQ(gene->GetInfoLinkUrl(),
              "http://127.0.0.1:8470/experiment/0310/" + std::to_string(gene->GetExperimentId()));
    EXPECT_EQ(HandMadeDataSet().GetInfoLinkUrl(), "");
    const Expressor* shown = nullptr;
    for (const Expressor& e : *gene->GetExpressors(nullptr))
        if (e.section != 0)
        {
            shown = &e;
            break;
        }
    ASSERT_NE(shown, nullptr);
    const std::string url = gene->GetSelectedExpressorImageUrl(shown, gene->GetAtlasSpace(0));
    const ImageSeries::ImageInfo* image = gene->GetImageSeries().GetImageSection(shown->section);
    const std::string tail =
        "&x=" + std::to_string(shown->imageX - image->left) + "&y=" + std::to_string(shown->imageY - image->top);
    EXPECT_NE(url.find(tail), std::string::npos) << url;
    EXPECT_NE(url.find(std::to_string(image->id)), std::string::npos) << url;
    EXPECT_EQ(gene->GetSelectedExpressorImageUrl(nullptr, gene->GetAtlasSpace(0)), "");
    Expressor unshown = *shown;
    unshown.section = 65535;
    EXPECT_EQ(gene->GetSelectedExpressorImageUrl(&unshown, gene->GetAtlasSpace(0)), "");
    EXPECT_EQ(gene->GetImageMaskFilterParams(), "?filter=colormap&filterVals=0.5,0.99,0,255,4");
}

TEST_F(DataSetTest, ASpaceReadAgainHoldsOnlyTheNewCells)
{
    AtlasSpace* space = Space("0310", "P56");
    auto gene = std::make_unique<GeneExpression>("n", "s", "0310", 5, 0, 1.0f);
    gene->AddAtlasSpace(space);
    for (const char* file : {"sets/gene-310-light.zip", "sets/gene-310.zip"})
    {
        const std::string bytes = FixtureBytes(file);
        MemoryStreamRef stream(bytes.data(), static_cast<unsigned int>(bytes.size()));
        gene->LoadAtlasSpace(stream, std::string(file).find("light") != std::string::npos, nullptr);
    }
    // The features were filled anew from the second read, not left pointing into the first one's cells.
    const std::vector<Expressor>& cells = *gene->GetExpressors(space);
    std::size_t placed = 0;
    for (const BrainFeature& feature : *gene->GetBrainFeatures(space))
        for (const Expressor* e : feature.expressors)
        {
            ASSERT_TRUE(e >= cells.data() && e < cells.data() + cells.size());
            ASSERT_EQ(e->label, feature.label);
            ++placed;
        }
    EXPECT_GT(placed, 0u);
}
