#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AtlasFixture.h"
#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasFileError.h"
#include "atlas/AtlasSet.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "atlas/GeneColorModes.h"
#include "atlas/SearchConfig.h"
#include "core/Image3d.h"

namespace
{

std::vector<std::string> ListedNames()
{
    std::vector<std::string> names;
    const AtlasSet* set = AtlasSet::GetAtlases();
    for (int i = 0; i < set->GetNumAtlases(); ++i)
        names.push_back(set->GetAtlas(i)->GetName());
    return names;
}

void Reload()
{
    AtlasSet::GetAtlases()->Reload();
}

std::vector<unsigned long> MeshIds(const BrainOntology& ontology)
{
    std::vector<unsigned long> ids;
    for (unsigned int i = 1; i < ontology.GetNumLabels(); ++i)
        if (ontology.GetAnnotationLabelByIndex(i)->hasMesh)
            ids.push_back(ontology.GetAnnotationLabelByIndex(i)->databaseId);
    return ids;
}

} // namespace

TEST(AtlasSet, ListsUsableAtlasesSortedByNameAndSkipsTheRest)
{
    AtlasRoot root;
    const int build = UserPreferences::GetPreferences()->GetBuildNumber();
    auto write = [&](const std::string& folder, auto&& change) {
        HandAtlas hand;
        change(hand);
        hand.Write(root.Folder(folder));
    };
    write("1", [](HandAtlas& a) {
        a.name = "beta";
        a.id = 1;
        a.project = "b";
    });
    write("2", [](HandAtlas& a) {
        a.name = "Zulu";
        a.id = 2;
        a.project = "z";
    });
    write("3", [&](HandAtlas& a) {
        a.name = "Same build";
        a.id = 3;
        a.minAppVersion = build;
    });
    // Two folders with one id: the first in folder-name order wins.
    write("dup-a", [](HandAtlas& a) {
        a.name = "Dup A";
        a.id = 7;
        a.project = "d";
    });
    write("dup-b", [](HandAtlas& a) {
        a.name = "Dup B";
        a.id = 7;
        a.project = "d";
    });
    // A folder whose name begins with a dot holds an atlas as any other does (the demo script reads it so).
    write(".kept", [](HandAtlas& a) {
        a.name = "Kept";
        a.id = 15;
        a.project = "k";
    });
    write("newer", [&](HandAtlas& a) {
        a.name = "Newer";
        a.id = 8;
        a.minAppVersion = build + 1;
    });
    write("size", [](HandAtlas& a) {
        a.name = "Wrong size";
        a.id = 9;
    });
    WriteBytes(root.Folder("size") + "/Spaces/S/Annotation", "abc");
    write("three", [](HandAtlas& a) {
        a.name = "Three bytes";
        a.id = 10;
        a.bytesPerVoxel = 3;
    });
    write("noinfo", [](HandAtlas& a) {
        a.name = "No info";
        a.id = 11;
    });
    fs::remove(root.Folder("noinfo") + "/Info.xml");
    write("infodir", [](HandAtlas& a) {
        a.name = "Info folder";
        a.id = 12;
    });
    fs::remove(root.Folder("infodir") + "/Info.xml");
    fs::create_directories(root.Folder("infodir") + "/Info.xml");
    write("cut", [](HandAtlas& a) {
        a.name = "Cut";
        a.id = 13;
    });
    WriteBytes(root.Folder("cut") + "/Info.xml", "<atlas-info id=\"13\" name=\"Cut\"><space name=\"S\">");
    write("grid", [](HandAtlas& a) {
        a.name = "Huge view grid";
        a.id = 14;
    });
    {
        std::string info = ReadBytes(root.Folder("grid") + "/Info.xml");
        const std::string viewSize = "<size width=\"4\" height=\"3\" depth=\"2\"/>";
        info.replace(info.find(viewSize), viewSize.size(), "<size width=\"65535\" height=\"65535\" depth=\"1\"/>");
        WriteBytes(root.Folder("grid") + "/Info.xml", info);
    }
    WriteBytes(root.Atlases() + "/stray-file", "not an atlas");

    Reload();
    EXPECT_EQ((std::vector<std::string>{"Dup A", "Kept", "Same build", "Zulu", "beta"}), ListedNames());
    EXPECT_FALSE(AtlasSet::GetAtlases()->IsLoading());
    EXPECT_THROW(AtlasSet::GetAtlases()->GetAtlas(5), std::out_of_range);
    EXPECT_THROW(AtlasSet::GetAtlases()->GetAtlas(-1), std::out_of_range);

    EXPECT_EQ("beta", AtlasSet::GetAtlas(std::string("b"))->GetName());
    EXPECT_EQ(nullptr, AtlasSet::GetAtlas(std::string("nope")));
    EXPECT_EQ("Dup A", AtlasSet::GetAtlasWithId(7)->GetName());
    EXPECT_EQ(nullptr, AtlasSet::GetAtlasWithId(8));
    EXPECT_EQ("S", AtlasSet::GetAtlasSpace("z", "S")->GetName());
    EXPECT_EQ(nullptr, AtlasSet::GetAtlasSpace("z", "T"));
    EXPECT_EQ(nullptr, AtlasSet::GetAtlasSpace("q", "S"));

    // The folders left out for a file that cannot be read are kept, with that file and the reason; folders
    // that hold no atlas, and an atlas whose id another has, are not among them.
    std::vector<std::string> rejected;
    for (const AtlasSet::Rejection& r : AtlasSet::GetAtlases()->GetRejections())
        rejected.push_back(fs::path(r.folder).filename().string() + " " +
                           fs::relative(r.file, r.folder).generic_string() + " " + r.reason);
    EXPECT_EQ((std::vector<std::string>{
                  "cut Info.xml Error parsing atlas configuration file.", "grid Info.xml Invalid image dimension",
                  "newer Info.xml Atlas requires a newer version (" + std::to_string(build + 1) + ") of Corvane",
                  "size Spaces/S/Annotation Annotation file size does not correspond to the "
                  "atlas space dimensions.",
                  "three Spaces/S/Annotation Annotation bit depth not supported."}),
              rejected);

    // Every skipped folder fails with its own message when built directly.
    EXPECT_EQ("Atlas requires a newer version (" + std::to_string(build + 1) + ") of Corvane",
              MessageOf<std::runtime_error>([&] { Atlas atlas(root.Folder("newer")); }));
    EXPECT_EQ("Annotation file size does not correspond to the atlas space dimensions.",
              MessageOf<std::runtime_error>([&] { Atlas atlas(root.Folder("size")); }));
    EXPECT_EQ("Annotation bit depth not supported.",
              MessageOf<std::runtime_error>([&] { Atlas atlas(root.Folder("three")); }));
    EXPECT_EQ("Invalid image dimension", MessageOf<std::runtime_error>([&] { Atlas atlas(root.Folder("grid")); }));
    fs::remove(root.Folder("size") + "/Spaces/S/Annotation");
    EXPECT_EQ("Annotation file could not be opened.",
              MessageOf<std::runtime_error>([&] { Atlas atlas(root.Folder("size")); }));
}

TEST(AtlasSet, ReadsAsEmptyWhileLoading)
{
    AtlasRoot root;
    HandAtlas().Write(root.Folder("a"));
    AtlasSet* set = AtlasSet::GetAtlases();
    set->Reload();
    EXPECT_EQ(1, set->GetNumAtlases());
    set->SetLoading(true);
    EXPECT_EQ(0, set->GetNumAtlases());
    // The list may be half rebuilt: it is not read at all.
    EXPECT_THROW(set->GetAtlas(0), std::out_of_range);
    set->Reload();
    EXPECT_FALSE(set->IsLoading());
    EXPECT_EQ(1, set->GetNumAtlases());
}

TEST(Atlas, UrlsAndFeatureFlagsFollowTheAtlasId)
{
    AtlasRoot root;
    struct Case
    {
        unsigned int id;
        bool extraProjection;
        bool integrated, projection, colocated, zScore;
        const char* identifier;
        const std::string& projectionCode;
    };
    const Case cases[] = {
        {310, true, true, true, false, false, "Image Series", Atlas::MOUSE_PROJECTION_CODE},
        {310, false, true, false, false, false, "Image Series", Atlas::MOUSE_PROJECTION_CODE},
        {378, true, true, true, false, false, "Image Series", Atlas::MOUSE_PROJECTION_CODE},
        {350, true, true, false, false, false, "Image Series", Atlas::EMPTY_STRING},
        {351, true, false, false, true, true, "Probe", Atlas::EMPTY_STRING},
        {42, true, false, false, false, false, "Image Series", Atlas::EMPTY_STRING},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.id);
        HandAtlas hand;
        hand.id = c.id;
        hand.project = "0" + std::to_string(c.id);
        if (c.extraProjection)
            hand.extraUrls = "<urls project=\"0378\" base=\"http://p\"><grid>%1%/p</grid></urls>"
                             "<urls project=\"0378\" base=\"http://late\"><grid>%1%/late</grid></urls>";
        const std::string folder = root.Folder(std::to_string(c.id) + (c.extraProjection ? "p" : ""));
        hand.Write(folder);
        Atlas atlas(folder);
        EXPECT_EQ(c.integrated, atlas.HasIntegratedSearch());
        EXPECT_EQ(c.integrated, atlas.HasHighResImageViews());
        EXPECT_EQ(c.projection, atlas.HasProjectionSearch());
        EXPECT_EQ(c.colocated, atlas.HasColocatedSamples());
        EXPECT_EQ(c.zScore, atlas.HasExpressionZScore());
        EXPECT_EQ(c.zScore, atlas.HasStretchedExpressionRangeForDisplay());
        EXPECT_FALSE(atlas.UnionizeExpressionToStructures());
        EXPECT_STREQ(c.identifier, atlas.GetExperimentIdentifierName());
        EXPECT_EQ(&c.projectionCode, &atlas.GetProjectionProjectCode());

        EXPECT_EQ("http://h/grid/%1%", atlas.GetGridDownloadUrl(""));
        EXPECT_EQ("http://h/grid/%1%", atlas.GetGridDownloadUrl(nullptr));
        EXPECT_EQ("http://h/g?t=%1%", atlas.GetGeneSearchUrl(hand.project.c_str()));
        if (c.extraProjection)
        {
            // The first block of a project code wins.
            EXPECT_EQ(c.id == 378 ? "http://h/grid/%1%" : "http://p/p", atlas.GetGridDownloadUrl("0378"));
        }
        EXPECT_EQ("URLs not found for project 9999",
                  MessageOf<std::runtime_error>([&] { atlas.GetImageTileUrl("9999"); }));
        // Asked first by whoever must not fail on a project the atlas lacks.
        EXPECT_TRUE(atlas.HasUrls(nullptr));
        EXPECT_TRUE(atlas.HasUrls(""));
        EXPECT_TRUE(atlas.HasUrls(hand.project.c_str()));
        EXPECT_EQ(c.extraProjection || c.id == 378, atlas.HasUrls("0378"));
        EXPECT_FALSE(atlas.HasUrls("9999"));
    }
}

TEST(Atlas, RequiresUrlsAndAnOntology)
{
    AtlasRoot root;
    HandAtlas hand;
    const std::string folder = root.Folder("a");
    hand.Write(folder);
    std::string xml = hand.InfoXml();
    xml.erase(xml.find("<urls"), xml.find("</urls>") + 7 - xml.find("<urls"));
    WriteBytes(folder + "/Info.xml", xml);
    EXPECT_EQ("URLs not specified for atlas at " + folder, MessageOf<std::runtime_error>([&] { Atlas atlas(folder); }));

    hand.Write(folder);
    fs::remove(folder + "/ontology_v2.csv");
    Atlas atlas(folder);
    EXPECT_TRUE(fs::is_directory(folder + "/Local"));
    EXPECT_EQ("Could not find ontology file", MessageOf<std::runtime_error>([&] { atlas.GetOntology(); }));
    // A failed build is tried again.
    WriteBytes(folder + "/ontology_v2.csv", HandAtlas::Ontology());
    EXPECT_EQ(5u, atlas.GetOntology()->GetNumLabels());
    EXPECT_EQ(atlas.GetOntology(), atlas.GetOntology());
    EXPECT_EQ(0, atlas.GetSearchConfig()->GetNumAnatomicSearchDomains());
    EXPECT_THROW(atlas.GetSpace(1u), std::out_of_range);
    EXPECT_EQ(nullptr, atlas.GetSpace("T"));
}

TEST(Atlas, ADamagedFileIsNamedWithTheReason)
{
    REQUIRE_GENERATOR();
    TempDir dir;
    const std::string made = dir.File("made");
    GenerateAtlas("micro", 310, made);
    {
        // The view grid in Local is made once, as at installation.
        Atlas installed(made);
        installed.GetSpace(0u)->GetAnnotationImage();
    }
    // What meets the damage, once the atlas is made.
    using Step = void (*)(Atlas&);
    const Step construct = [](Atlas&) {};
    const Step ontology = [](Atlas& atlas) { atlas.GetOntology(); };
    const Step viewGrid = [](Atlas& atlas) { atlas.GetSpace(0u)->GetAnnotationImage(); };
    const Step nissl = [](Atlas& atlas) { atlas.GetSpace(0u)->GetAtlasImage(); };
    const Step searchDomains = [](Atlas& atlas) { atlas.GetSearchConfig(); };
    struct Case
    {
        const char* file;
        std::string bytes; // the damaged file's new content
        Step step;
        const char* reason;
    };
    const std::string rows = ReadBytes(made + "/ontology_v2.csv");
    const Case cases[] = {
        {"Info.xml", "<atlas-info id=\"310\" name=\"Cut", construct, "Error parsing atlas configuration file."},
        {"Spaces/P56/Annotation", "\x01\x02\x03", construct,
         "Annotation file size does not correspond to the atlas space dimensions."},
        {"ontology_v2.csv", rows.substr(0, rows.size() / 2 + 7), ontology, nullptr},
        {"ontology_v2.csv", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), ontology, nullptr},
        {"Local/Annotation_Grid_P56", "cut short", viewGrid, "Could not load 3D annotation image."},
        {"Spaces/P56/Atlas", "cut short", nissl, "Could not load 3D Nissl image."},
        {"SearchDomains.xml", "<SearchDomains><AnatomicSearch>", searchDomains,
         "Error parsing search configuration file."},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.file);
        const std::string folder = dir.File("copy");
        fs::remove_all(folder);
        fs::copy(made, folder, fs::copy_options::recursive);
        const std::string file = (fs::path(folder) / c.file).string();
        WriteBytes(file, c.bytes);
        std::string named, reason;
        try
        {
            Atlas atlas(folder);
            c.step(atlas);
        }
        catch (const AtlasFileError& error)
        {
            named = error.GetFile();
            reason = error.what();
        }
        // The file travels beside the reader's own message, which is unchanged.
        EXPECT_EQ(file, named);
        EXPECT_FALSE(reason.empty());
        if (c.reason)
        {
            EXPECT_EQ(c.reason, reason);
        }
    }
}

TEST(Atlas, AnnotationColormapCoversEveryAnnotationValue)
{
    AtlasRoot root;
    HandAtlas().Write(root.Folder("a"));
    Atlas atlas(root.Folder("a"));
    const Colormap& colormap = atlas.GetAnnotationColormap();
    // Five labels, but the largest annotation value is 300.
    ASSERT_EQ(301u * 3, colormap.entries.size());
    auto entry = [&](unsigned int v) {
        return std::vector<int>(colormap.entries.begin() + 3 * v, colormap.entries.begin() + 3 * v + 3);
    };
    EXPECT_EQ((std::vector<int>{0, 0, 0}), entry(0));
    EXPECT_EQ((std::vector<int>{10, 20, 30}), entry(1));
    EXPECT_EQ((std::vector<int>{220, 220, 220}), entry(2));
    EXPECT_EQ((std::vector<int>{200, 0, 0}), entry(5));
    EXPECT_EQ((std::vector<int>{0, 200, 0}), entry(7));
    EXPECT_EQ((std::vector<int>{220, 220, 220}), entry(299));
    EXPECT_EQ((std::vector<int>{0, 0, 200}), entry(300));
    EXPECT_EQ(&colormap, &atlas.GetAnnotationColormap());
}

TEST(Atlas, LastReleaseFreesTheFullVolumes)
{
    AtlasRoot root;
    HandAtlas().Write(root.Folder("a"));
    Atlas atlas(root.Folder("a"));
    AtlasSpace* space = atlas.GetSpace(0u);
    atlas.Release(); // without a Retain: ignored
    atlas.Retain();
    atlas.Retain();
    space->LoadFullAtlas(nullptr, true, true);
    ASSERT_TRUE(space->FullAtlasIsLoaded());
    atlas.Release();
    EXPECT_TRUE(space->FullAtlasIsLoaded());
    atlas.Release();
    EXPECT_FALSE(space->FullAtlasIsLoaded());
    // They reload on demand.
    EXPECT_TRUE(space->GetAtlasImage()->IsOpen());
    EXPECT_TRUE(space->GetFullSizeAnnotationImage()->IsOpen());
    EXPECT_TRUE(space->FullAtlasIsLoaded());
}

TEST(Atlas, CleanLocalAtlasFilesEmptiesTheLocalFolder)
{
    AtlasRoot root;
    HandAtlas().Write(root.Folder("a"));
    Atlas atlas(root.Folder("a"));
    WriteBytes(atlas.GetLocalPath() + "/sub/file", "x");
    atlas.CleanLocalAtlasFiles();
    EXPECT_TRUE(fs::is_directory(atlas.GetLocalPath()));
    EXPECT_TRUE(fs::is_empty(atlas.GetLocalPath()));
    fs::remove(atlas.GetLocalPath());
    atlas.CleanLocalAtlasFiles();
    EXPECT_FALSE(fs::exists(atlas.GetLocalPath()));
}

TEST(Atlas, AMeshNameLeavingTheMeshFolderFindsNoMesh)
{
    AtlasRoot root;
    const std::string folder = root.Folder("a");
    HandAtlas hand;
    hand.id = 351; // the microarray atlas, whose mesh flags come from the files present
    hand.Write(folder);
    std::string ontology = HandAtlas::Ontology();
    ontology.replace(ontology.find(",A\n"), 3, ",../../../outside\n");
    WriteBytes(folder + "/ontology_v2.csv", ontology);
    WriteBytes(folder + "/outside.msh", "a file of the atlas folder, outside every mesh folder");
    WriteBytes(folder + "/Spaces/S/Meshes/B.msh", "a mesh");

    Atlas atlas(folder);
    const std::shared_ptr<BrainOntology> labels = atlas.GetOntology();
    EXPECT_FALSE(labels->GetAnnotationLabelByDatabaseId(500)->hasMesh);
    EXPECT_TRUE(labels->GetAnnotationLabelByDatabaseId(700)->hasMesh);
}

TEST(Atlas, MicroarrayMeshFlagsComeFromTheSpatialObjectList)
{
    REQUIRE_GENERATOR();
    AtlasRoot root;
    const std::string folder = root.Folder("m");
    GenerateAtlas("micro", 351, folder);
    const std::string list = folder + "/Local/SpatialObjectList";

    std::vector<unsigned long> rebuilt;
    {
        Atlas atlas(folder);
        const std::shared_ptr<BrainOntology> ontology = atlas.GetOntology();
        rebuilt = MeshIds(*ontology);
        // Every structure with a mesh file, with its ancestors.
        for (unsigned int i = 1; i < ontology->GetNumLabels(); ++i)
        {
            const AnnotationLabel* label = ontology->GetAnnotationLabelByIndex(i);
            const bool file = fs::exists(folder + "/Spaces/D351-A/Meshes/" + label->meshName + ".msh") ||
                              fs::exists(folder + "/Spaces/D351-B/Meshes/" + label->meshName + ".msh");
            for (const AnnotationLabel* up = label; file && up; up = up->parent)
                EXPECT_TRUE(up->hasMesh) << up->abbreviation;
        }
        ASSERT_FALSE(rebuilt.empty());
        std::string expected;
        for (unsigned long id : rebuilt)
            expected += std::to_string(id) + "\n";
        EXPECT_EQ(expected, ReadBytes(list));
    }
    {
        // A valid list is taken as it stands: no ancestors are added.
        WriteBytes(list, " 2077\n\t2110 ");
        Atlas atlas(folder);
        EXPECT_EQ((std::vector<unsigned long>{2077, 2110}), MeshIds(*atlas.GetOntology()));
    }
    for (const char* broken : {"2088 123456\n", "2088 abc\n", "-5\n"})
    {
        WriteBytes(list, broken);
        Atlas atlas(folder);
        EXPECT_EQ(rebuilt, MeshIds(*atlas.GetOntology())) << broken;
    }
}

TEST(Atlas, EveryGeneratedAtlasLoads)
{
    REQUIRE_GENERATOR();
    for (const char* profile : {"micro", "tiny"})
    {
        AtlasRoot root;
        const unsigned int ids[] = {310, 350, 351, 378, 4242};
        for (unsigned int id : ids)
            GenerateAtlas(profile, id, root.Folder(std::to_string(id)));
        Reload();
        AtlasSet* set = AtlasSet::GetAtlases();
        ASSERT_EQ(5, set->GetNumAtlases()) << profile;
        const bool tiny = std::string(profile) == "tiny";
        for (unsigned int id : ids)
        {
            SCOPED_TRACE(std::string(profile) + " " + std::to_string(id));
            const std::shared_ptr<Atlas> atlas = AtlasSet::GetAtlasWithId(id);
            ASSERT_TRUE(atlas);
            EXPECT_EQ(id == 350 || id == 351 ? 2u : 1u, atlas->GetNumSpaces());
            EXPECT_TRUE(atlas->HasHighResolutionAtlasImages());
            for (unsigned int s = 0; s < atlas->GetNumSpaces(); ++s)
            {
                AtlasSpace* space = atlas->GetSpace(s);
                EXPECT_EQ(space, atlas->GetSpace(space->GetName()));
                EXPECT_EQ(tiny ? 16u : 8u, space->AnnotationBitDepth());
                EXPECT_EQ(tiny ? 133u : 24u, space->GetAtlasDimensions()[0]);
                EXPECT_EQ(tiny ? 67u : 12u, space->GetViewDimensions()[0]);
                EXPECT_EQ(tiny ? 58u : 10u, space->GetViewDimensions()[2]);
                EXPECT_FLOAT_EQ(tiny ? 200.0f : 1000.0f, space->GetViewResolution()[1]);
                for (int k = 0; k < 3; ++k)
                    EXPECT_FLOAT_EQ(float(space->GetAtlasBregma()[k]) * space->GetAtlasResolution()[k] /
                                        space->GetViewResolution()[k],
                                    space->GetViewBregma()[k]);
                EXPECT_FALSE(space->FullAtlasIsLoaded());
                EXPECT_EQ(ExpectedViewGrid(*space, ReadBytes(space->GetPath() + "/Annotation"), tiny ? 2 : 1),
                          Voxels(*space->GetAnnotationImage()));
                space->ReleaseMemory();
            }
            const float expectedSize = tiny ? 13400.0f : 12000.0f;
            EXPECT_FLOAT_EQ(expectedSize, atlas->GetPhysicalViewSize()[0]);
            EXPECT_EQ(atlas->GetSpace(0u)->GetViewDimensions()[1], atlas->GetViewSizeGrid()[1]);

            // The annotation colours are the ontology's, by annotation value.
            const std::shared_ptr<BrainOntology> ontology = atlas->GetOntology();
            const Colormap& colormap = atlas->GetAnnotationColormap();
            for (unsigned int i = 1; i < ontology->GetNumLabels(); ++i)
            {
                const AnnotationLabel* label = ontology->GetAnnotationLabelByIndex(i);
                ASSERT_LT(3u * label->annotationValue + 2, colormap.entries.size());
                EXPECT_EQ(0, std::memcmp(label->color, &colormap.entries[3 * label->annotationValue], 3));
            }
            // The colour modes are the files'.
            const GeneColorModes& modes = atlas->GetGeneColorModes();
            for (const auto& [name, file] : {std::pair<const char*, const char*>{"expression", "Expression.map"},
                                             {"jet", "Jet.map"},
                                             {"redgreen", "rg.map"},
                                             {"bluered", "bluered.map"},
                                             {"ryb", "ryb.map"}})
            {
                const Colormap* colormap = modes.GetColormap(name);
                ASSERT_NE(nullptr, colormap) << name;
                std::istringstream text(ReadBytes(atlas->GetPath() + "/Colormaps/" + file));
                std::vector<unsigned char> bytes;
                for (int value; text >> value;)
                    bytes.push_back(static_cast<unsigned char>(value));
                EXPECT_EQ(bytes, colormap->entries) << name;
            }
            EXPECT_EQ(modes.GetJetColormap(), atlas->GetDefaultColormap());
        }
    }
}
