#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <boost/format.hpp>
#include <gtest/gtest.h>

#include "AtlasFixture.h"
#include "atlas/AtlasConfigReader.h"
#include "atlas/BrainOntology.h"
#include "atlas/DevMouseMetaReader.h"
#include "atlas/ImageSeries.h"
#include "atlas/SearchConfig.h"

// Every text file of a synthetic atlas, as the generator writes it, read by the readers the viewer uses.
// The generator is an independent writer of the same formats: where the two disagree, one of them is wrong.

namespace
{

const std::string BASE = "http://127.0.0.1:8470";
const char* const PLANES[2] = {"coronal", "sagittal"};

// The micro profile: atlas grid, view grid and their spacings in micrometres.
const int ATLAS_DIMS[3] = {24, 16, 20};
const int VIEW_DIMS[3] = {12, 8, 10};
const float ATLAS_SPACING = 500.0f;
const float VIEW_SPACING = 1000.0f;

int DataRowsOf(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    int rows = -1; // the header
    while (std::getline(in, line))
        if (!line.empty())
            ++rows;
    return rows;
}

int DepthOf(const AnnotationLabel* label)
{
    int depth = 0;
    for (const AnnotationLabel* p = label->parent; p; p = p->parent)
        ++depth;
    return depth;
}

class GeneratedAtlas : public testing::TestWithParam<unsigned int>
{
protected:
    void SetUp() override
    {
        REQUIRE_GENERATOR();
        m_folder = m_dir.File("atlas");
        GenerateAtlas("micro", GetParam(), m_folder);
    }

    std::string File(const std::string& name) const { return m_folder + "/" + name; }

    TempDir m_dir;
    std::string m_folder;
};

void ExpectRenumbered(const std::string& stored, const std::string& project, const std::string& rest)
{
    EXPECT_EQ(BASE + "/" + rest, stored) << project;
}

void ExpectUrls(unsigned int id, const std::vector<AtlasURLs>& urls, const std::string& project)
{
    const std::vector<std::string> projects =
        id == 310 ? std::vector<std::string>{"0310", "0378"} : std::vector<std::string>{project};
    ASSERT_EQ(projects.size(), urls.size());
    for (size_t b = 0; b < urls.size(); ++b)
    {
        const AtlasURLs& u = urls[b];
        const std::string& p = projects[b];
        EXPECT_EQ(p, u.projectCode);
        EXPECT_EQ(BASE, u.host);
        ExpectRenumbered(u.grid, p, "grid/" + p + "/%1%/%2%");
        ExpectRenumbered(u.imageSeriesDisplay, p, "experiment/" + p + "/%1%");
        ExpectRenumbered(u.atlasImageViewer, p, "viewer/" + p + "/atlas?image=%1%&series=%2%");
        ExpectRenumbered(u.imageTile, p, "tiles/%1%");
        ExpectRenumbered(u.imageService, p, "imageservice?path=%1%");
        if (id == 351)
            ExpectRenumbered(u.imageViewer, p,
                             "viewer/" + p + "/sample?probe=%1%&space=%2%&sample=%3%&mode=%4%&window=%5%");
        else
            ExpectRenumbered(u.imageViewer, p, "viewer/" + p + "/image?image=%1%&series=%2%");

        if (id == 310 || id == 350)
            ExpectRenumbered(u.geneSearch, p, "search/" + p + "/gene?start=%1%&num=%2%&term=%3%");
        else
            ExpectRenumbered(u.geneSearch, p, "search/" + p + "/gene?term=%1%");
        EXPECT_EQ(id == 310, !u.differentialSearch.empty());
        EXPECT_EQ(id == 310 || id == 350, !u.correlationSearch.empty());
        if (id == 310)
            ExpectRenumbered(u.differentialSearch, p,
                             "search/" + p + "/differential?start=%1%&num=%2%&target=%3%&contrast=%4%&plane=%5%");

        // What the program does with a stored template: fill its own placeholders in order.
        EXPECT_EQ(BASE + "/grid/" + p + "/100000/thumbnail", (boost::format(u.grid) % 100000 % "thumbnail").str());
    }
}

void ExpectSpace(const AtlasConfigReader::AtlasSpaceInfo& space)
{
    for (int axis = 0; axis < 3; ++axis)
    {
        EXPECT_EQ(ATLAS_DIMS[axis], space.atlasDimensions[axis]);
        EXPECT_EQ(VIEW_DIMS[axis], space.viewDimensions[axis]);
        EXPECT_FLOAT_EQ(ATLAS_SPACING, space.atlasResolution[axis]);
        EXPECT_FLOAT_EQ(VIEW_SPACING, space.viewResolution[axis]);
        EXPECT_FLOAT_EQ(ATLAS_SPACING, space.meshResolution[axis]);
        EXPECT_GE(space.origin[axis], 0);
        EXPECT_LT(space.origin[axis], ATLAS_DIMS[axis]);
    }
    EXPECT_FALSE(space.invert);
    EXPECT_FLOAT_EQ(1.0f, space.transform[0]);
    EXPECT_FLOAT_EQ(1.0f, space.mniTransform[15]);
}

void ExpectOntology(unsigned int id, const BrainOntology& ontology, int dataRows)
{
    ASSERT_EQ(static_cast<unsigned int>(dataRows) + 1, ontology.GetNumLabels());
    const AnnotationLabel* none = ontology.GetAnnotationLabelByIndex(0);
    const AnnotationLabel* root = ontology.GetAnnotationLabelByIndex(1);
    EXPECT_EQ(nullptr, root->parent);
    EXPECT_EQ(0, root->level);

    std::vector<const AnnotationLabel*> covered;
    ontology.SelectorToLabelList(root->subtreeSelector, covered);
    EXPECT_EQ(ontology.GetNumLabels() - 1, covered.size()) << "every structure lies under the first row";

    for (unsigned int i = 1; i < ontology.GetNumLabels(); ++i)
    {
        const AnnotationLabel* label = ontology.GetAnnotationLabelByIndex(i);
        SCOPED_TRACE(label->abbreviation);
        EXPECT_EQ(i, label->index);
        // The three numberings differ and each finds the row.
        EXPECT_NE(i, label->annotationValue);
        EXPECT_NE(i, label->databaseId);
        EXPECT_NE(label->annotationValue, label->databaseId);
        EXPECT_EQ(label, ontology.GetAnnotationLabel(label->annotationValue));
        EXPECT_EQ(label, ontology.GetAnnotationLabelByDatabaseId(label->databaseId));
        EXPECT_EQ(label, ontology.GetAnnotationLabel(label->abbreviation));
        EXPECT_EQ(label->abbreviation, label->meshName);
        EXPECT_EQ(label->name, label->shortName);
        EXPECT_EQ(id != 351, label->hasMesh);

        const int depth = DepthOf(label);
        // Levels are depths but for the structure sets that an atlas marks: the microarray atlas's depth-2
        // structures (100), and the mouse atlases' large divisions (100) and deep structures (200).
        if (id == 310 || id == 378)
        {
            EXPECT_TRUE(label->level == depth || label->level == 100 || label->level == 200) << label->level;
        }
        else
        {
            EXPECT_EQ(id == 351 && depth == 2 ? 100 : depth, label->level);
        }
        if (i > 1)
        {
            ASSERT_NE(nullptr, label->parent);
            EXPECT_TRUE(label->parent->childrenSelector.IsSet(i));
        }
        EXPECT_TRUE(root->subtreeSelector.IsSet(i));
        EXPECT_FALSE(none->selector.Intersects(label->subtreeSelector));
    }
    EXPECT_EQ(none, ontology.GetAnnotationLabel(static_cast<unsigned short>(0)));
    EXPECT_EQ(none, ontology.GetAnnotationLabelByAlphabeticalIndex(ontology.GetNumLabels() - 1));
    // The structure presets of the mouse atlases select by these levels: neither set may be empty.
    for (int level : {100, 200})
    {
        std::vector<const AnnotationLabel*> set;
        ontology.SelectorToLabelList(ontology.SelectorForLevel(level), set);
        EXPECT_EQ(id == 310 || id == 378 || (id == 351 && level == 100), !set.empty()) << level;
    }
}

void ExpectSearchDomains(const SearchConfig& config)
{
    EXPECT_EQ(1, config.GetVersion());
    EXPECT_TRUE(config.GetQuellarCoronalAllowed());
    EXPECT_TRUE(config.GetQuellarSagittalAllowed());
    ASSERT_GT(config.GetNumAnatomicSearchDomains(), 0);
    ASSERT_GT(config.GetNumQuellarDomains(), 0);
    EXPECT_LE(config.GetNumQuellarDomains(), config.GetNumAnatomicSearchDomains());
    // Every domain names a structure of the ontology, indented by its depth in the tree.
    for (int i = 0; i < config.GetNumAnatomicSearchDomains(); ++i)
    {
        EXPECT_NE(0u, config.GetAnatomicSearchDomain(i)->index);
        EXPECT_EQ(DepthOf(config.GetAnatomicSearchDomain(i)), config.GetAnatomicSearchIndent(i));
    }
    for (int i = 0; i < config.GetNumQuellarDomains(); ++i)
    {
        EXPECT_NE(0u, config.GetQuellarDomain(i)->index);
        EXPECT_EQ(DepthOf(config.GetQuellarDomain(i)), config.GetQuellarIndent(i));
    }
}

// One section series of a space: sections cut x (coronal) or z (sagittal), one per atlas slice, with
// image pixels of one micrometre, so an image spans the section's extent in micrometres.
void ExpectSections(unsigned int id, const std::string& folder, const std::string& spaceName, int spaceIndex, int plane)
{
    SCOPED_TRACE(spaceName + " " + PLANES[plane]);
    const std::string path = folder + "/Spaces/" + spaceName + "/" + PLANES[plane] + "_images.xml";
    const DevMouseMetaReader reader(path.c_str());
    EXPECT_EQ(id, reader.atlasId);
    EXPECT_EQ(100000u + 10u * spaceIndex + plane, reader.imageSeriesId);
    EXPECT_EQ(spaceName, reader.referenceSpace);
    EXPECT_EQ(plane, reader.planeOfSection);

    const int cut = plane == 0 ? 0 : 2, across = plane == 0 ? 2 : 0;
    ASSERT_EQ(static_cast<size_t>(ATLAS_DIMS[cut]), reader.images.size());
    ImageSeries series;
    series.Load(reader);
    ASSERT_EQ(reader.images.size(), series.GetNumImages());
    EXPECT_EQ(plane, series.GetPlaneOfSection());

    const float pixel = 1.0f;
    for (int k = 0; k < ATLAS_DIMS[cut]; ++k)
    {
        const ImageSeries::ImageInfo* image = series.GetImageSection(k);
        ASSERT_NE(nullptr, image);
        EXPECT_EQ(1000000 + 100000 * spaceIndex + 10000 * plane + k, image->id);
        EXPECT_EQ("sections/" + std::to_string(id) + "/" + spaceName + "/" + PLANES[plane] + "/" + std::to_string(k),
                  image->imagePath);
        EXPECT_EQ(static_cast<int>(ATLAS_DIMS[across] * ATLAS_SPACING), image->width);
        EXPECT_EQ(static_cast<int>(ATLAS_DIMS[1] * ATLAS_SPACING), image->height);
        EXPECT_EQ(image->width, image->parentImageWidth);
        EXPECT_EQ(image->height, image->parentImageHeight);
        EXPECT_EQ(static_cast<int>((k + 0.5f) * ATLAS_SPACING), image->z);

        // The centre of an atlas voxel of slice k lies on image k, at its pixel.
        float point[3] = {(3 + 0.5f) * ATLAS_SPACING, (5 + 0.5f) * ATLAS_SPACING, (7 + 0.5f) * ATLAS_SPACING};
        point[cut] = (k + 0.5f) * ATLAS_SPACING;
        float u = -1.0f, v = -1.0f;
        EXPECT_EQ(image, series.FindImageFromPoint(point[0], point[1], point[2], u, v));
        EXPECT_FLOAT_EQ(point[across] / pixel, u);
        EXPECT_FLOAT_EQ(point[1] / pixel, v);

        // tvr takes the section position back to the point.
        const float* m = series.GetTvr();
        const float section[3] = {u, v, static_cast<float>(image->z)};
        for (int axis = 0; axis < 3; ++axis)
            EXPECT_NEAR(point[axis],
                        m[3 * axis] * section[0] + m[3 * axis + 1] * section[1] + m[3 * axis + 2] * section[2] +
                            m[9 + axis],
                        1.0f);
    }
}

} // namespace

TEST_P(GeneratedAtlas, ReadsEveryTextFile)
{
    const unsigned int id = GetParam();
    const AtlasConfigReader info(File("Info.xml").c_str());
    char project[16];
    std::snprintf(project, sizeof project, "%04u", id);
    EXPECT_EQ(id, info.GetAtlasId());
    EXPECT_EQ(project, info.GetProject());
    EXPECT_FALSE(info.GetName().empty());
    EXPECT_EQ("jet", info.GetDefaultColormapName());
    ExpectUrls(id, info.GetUrls(), project);

    const size_t spaceCount = id == 350 || id == 351 ? 2 : 1;
    ASSERT_EQ(spaceCount, info.GetSpaces().size());
    for (size_t s = 0; s < spaceCount; ++s)
    {
        EXPECT_EQ(static_cast<int>(s) + 1, info.GetSpaces()[s].id);
        ExpectSpace(info.GetSpaces()[s]);
    }

    const std::string ontologyPath = File("ontology_v2.csv");
    const auto ontology = std::make_shared<const BrainOntology>(ontologyPath.c_str(), true, true, id != 351);
    ExpectOntology(id, *ontology, DataRowsOf(ontologyPath));

    ExpectSearchDomains(SearchConfig(ontology, m_folder));

    for (size_t s = 0; s < spaceCount; ++s)
        for (int plane = 0; plane < 2; ++plane)
            ExpectSections(id, m_folder, info.GetSpaces()[s].name, static_cast<int>(s), plane);
}

// 310 has two URL blocks, 350 and 351 two spaces, 351 levels of 100 and no meshes by default; 77 is
// an ordinary atlas.
INSTANTIATE_TEST_SUITE_P(Micro, GeneratedAtlas, testing::Values(310u, 350u, 351u, 77u));
