#include <string>

#include <gtest/gtest.h>

#include "AtlasTestFiles.h"
#include "atlas/AtlasConfigReader.h"

namespace
{

const std::string INFO_XML =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<atlas-info name=\"Test Atlas\" project=\"0310\" attribution=\"Made here\" id=\"310\" version=\"3\""
    " min-app-version=\"150\">\n"
    "  <!-- " +
    std::string(5000, '.') +
    " -->\n"
    "  <space name=\"P56\" id=\"9\">\n"
    "    <view-volume>\n"
    "      <size width=\"10\" height=\"8\" depth=\"6\"/>\n"
    "      <pixel-spacing width=\"100\" height=\"100\" depth=\"100\"/>\n"
    "      <offset x=\"1.5\" y=\"2.5\" z=\"3.5\"/>\n"
    "    </view-volume>\n"
    "    <tissue-volume invert=\"true\">\n"
    "      <size width=\"40\" height=\"32\" depth=\"24\"/>\n"
    "      <pixel-spacing width=\"25\" height=\"25.5\" depth=\"25\"/>\n"
    "      <origin x=\"5\" y=\"6\" z=\"7\"/>\n"
    "      <offset x=\"0.5\" y=\"0\" z=\"-1\"/>\n"
    "      <transform>1 0 0 0\n 0 1 0 0\n 0 0 1 0\n 10 20 30 1</transform>\n"
    "      <mni-transform>2 0 0 0 0 2 0 0 0 0 2 0 0 0 0 1 and more</mni-transform>\n"
    "    </tissue-volume>\n"
    "  </space>\n"
    "  <space name=\"E11\" id=\"10\">\n"
    "    <view-volume><size width=\"5\" height=\"5\" depth=\"5\"/>"
    "<pixel-spacing width=\"10\" height=\"10\" depth=\"10\"/></view-volume>\n"
    "    <tissue-volume><size width=\"5\" height=\"5\" depth=\"5\"/>"
    "<pixel-spacing width=\"1\" height=\"2\" depth=\"3\"/>"
    "<mesh-resolution>4.5</mesh-resolution></tissue-volume>\n"
    "  </space>\n"
    "  <plane-mapping x=\"2\" y=\"3\" z=\"0\"/>\n"
    "  <default-rotation>0.5 -0.5 0.25 0.75</default-rotation>\n"
    "  <compass-transform>0 1 0 0 1 0 0 0 0 0 1 0 0 0 0 1</compass-transform>\n"
    "  <default-colormap>hot</default-colormap>\n"
    "  <default-ontology-display-level>3</default-ontology-display-level>\n"
    "  <urls base=\"http://B\" project=\"0378\">\n"
    "    <host key=\"img\" host=\"http://images\"/>\n"
    "    <size width=\"0\"/>\n"
    "    <grid>%1%/a?x=%2%&amp;y=%3%</grid>\n"
    "    <imageTile key=\"img\">/tiles/%1%</imageTile>\n"
    "    <imageService key=\"nope\">/svc</imageService>\n"
    "    <imageViewer>%1%/</imageViewer>\n"
    "    <geneSearch>%1%/gene?q=%2%</geneSearch>\n"
    "    <dataSearch>%1%/data?q=%2%</dataSearch>\n"
    "    <multiExperimentViewer>%1%/multi?ids=%2%&amp;x=%%</multiExperimentViewer>\n"
    "  </urls>\n"
    "  <urls base=\"http://C\">\n"
    "    <host key=\"img\" host=\"http://other\"/>\n"
    "    <imageTile key=\"img\">/t</imageTile>\n"
    "    <correlationSearch>/corr</correlationSearch>\n"
    "  </urls>\n"
    "</atlas-info>\n";

const char* const VOLUMES = "<view-volume><size width=\"1\" height=\"1\" depth=\"1\"/>"
                            "<pixel-spacing width=\"1\" height=\"1\" depth=\"1\"/></view-volume>"
                            "<tissue-volume><size width=\"1\" height=\"1\" depth=\"1\"/>"
                            "<pixel-spacing width=\"1\" height=\"1\" depth=\"1\"/></tissue-volume>";

// A small complete Info.xml with the given text inside its atlas element.
std::string Minimal(const std::string& extra, const std::string& attributes = "name=\"A\" id=\"1\"")
{
    return "<atlas " + attributes + "><space name=\"S\">" + VOLUMES + "</space>" + extra + "</atlas>";
}

std::string FailureOf(const std::string& xml)
{
    TempDir dir;
    const std::string path = dir.Write("Info.xml", xml);
    return MessageOf<std::runtime_error>([&] { AtlasConfigReader reader(path.c_str()); });
}

} // namespace

TEST(AtlasConfigReader, ReadsIdentitySpacesAndDisplayDefaults)
{
    TempDir dir;
    const AtlasConfigReader reader(dir.Write("Info.xml", INFO_XML).c_str());
    EXPECT_EQ("Test Atlas", reader.GetName());
    EXPECT_EQ("0310", reader.GetProject());
    EXPECT_EQ("Made here", reader.GetAttribution());
    EXPECT_EQ(310u, reader.GetAtlasId());
    EXPECT_EQ(3, reader.GetVersion());
    EXPECT_EQ(150, reader.GetMinAppVersion());
    EXPECT_EQ(2u, reader.GetPlaneMapping()[0]);
    EXPECT_EQ(1u, reader.GetPlaneMapping()[1]);
    EXPECT_EQ(2u, reader.GetPlaneMapping()[2]);
    EXPECT_FLOAT_EQ(-0.5f, reader.GetDefaultRotation()[1]);
    EXPECT_FLOAT_EQ(0.75f, reader.GetDefaultRotation()[3]);
    EXPECT_FLOAT_EQ(1.0f, reader.GetCompassTransform()[1]);
    EXPECT_FLOAT_EQ(0.0f, reader.GetCompassTransform()[0]);
    EXPECT_EQ("hot", reader.GetDefaultColormapName());
    EXPECT_EQ(3, reader.GetDefaultOntologyDisplayLevel());

    ASSERT_EQ(2u, reader.GetSpaces().size());
    const AtlasConfigReader::AtlasSpaceInfo& p56 = reader.GetSpaces()[0];
    EXPECT_EQ("P56", p56.name);
    EXPECT_EQ(9, p56.id);
    EXPECT_TRUE(p56.invert);
    EXPECT_EQ(8, p56.viewDimensions[1]);
    EXPECT_EQ(24, p56.atlasDimensions[2]);
    EXPECT_EQ(6, p56.origin[1]);
    EXPECT_FLOAT_EQ(100.0f, p56.viewResolution[0]);
    EXPECT_FLOAT_EQ(25.5f, p56.atlasResolution[1]);
    EXPECT_FLOAT_EQ(3.5f, p56.viewOffset[2]);
    EXPECT_FLOAT_EQ(-1.0f, p56.atlasOffset[2]);
    // No mesh resolution given: the atlas grid's spacing.
    EXPECT_FLOAT_EQ(25.0f, p56.meshResolution[0]);
    EXPECT_FLOAT_EQ(25.5f, p56.meshResolution[1]);
    EXPECT_FLOAT_EQ(30.0f, p56.transform[14]);
    EXPECT_FLOAT_EQ(2.0f, p56.mniTransform[10]);

    const AtlasConfigReader::AtlasSpaceInfo& e11 = reader.GetSpaces()[1];
    EXPECT_FALSE(e11.invert);
    EXPECT_FLOAT_EQ(4.5f, e11.meshResolution[0]);
    EXPECT_FLOAT_EQ(4.5f, e11.meshResolution[2]);
    EXPECT_FLOAT_EQ(1.0f, e11.transform[0]);
    EXPECT_FLOAT_EQ(1.0f, e11.mniTransform[15]);
    EXPECT_FLOAT_EQ(0.0f, e11.mniTransform[12]);
}

TEST(AtlasConfigReader, FillsTheBaseIntoTemplatesAndRenumbersTheirPlaceholders)
{
    TempDir dir;
    const AtlasConfigReader reader(dir.Write("Info.xml", INFO_XML).c_str());
    ASSERT_EQ(2u, reader.GetUrls().size());

    const AtlasURLs& first = reader.GetUrls()[0];
    EXPECT_EQ("0378", first.projectCode);
    EXPECT_EQ("http://B", first.host);
    EXPECT_EQ("http://B/a?x=%1%&y=%2%", first.grid);
    EXPECT_EQ("http://B/data?q=%1%", first.geneSearch); // dataSearch ends later
    EXPECT_EQ("http://B/multi?ids=%1%&x=%", first.multiExperimentViewer);
    // Not templates: the host of the key, else the block's base, goes in front.
    EXPECT_EQ("http://images/tiles/%1%", first.imageTile);
    EXPECT_EQ("http://B/svc", first.imageService);
    EXPECT_EQ("http://B%1%/", first.imageViewer);

    const AtlasURLs& second = reader.GetUrls()[1];
    EXPECT_EQ("0310", second.projectCode); // the atlas's project
    EXPECT_EQ("http://C", second.host);
    EXPECT_EQ("", second.grid);
    EXPECT_EQ("", second.geneSearch);
    EXPECT_EQ("http://images/t", second.imageTile); // the first definition of a key wins
    EXPECT_EQ("http://C/corr", second.correlationSearch);
}

TEST(AtlasConfigReader, IgnoresVolumeElementsOutsideTheirVolumes)
{
    TempDir dir;
    const std::string xml = "<atlas name=\"A\" id=\"1\"><size width=\"0\"/><pixel-spacing width=\"-1\"/>"
                            "<space name=\"S\">" +
                            std::string(VOLUMES) +
                            "</space><urls base=\"B\"><size width=\"0\"/><origin x=\"4\"/>"
                            "<compass-transform>1</compass-transform></urls></atlas>";
    const AtlasConfigReader reader(dir.Write("Info.xml", xml).c_str());
    EXPECT_EQ(1u, reader.GetSpaces().size());
    EXPECT_EQ("", reader.GetDefaultColormapName());
    EXPECT_EQ(0, reader.GetDefaultOntologyDisplayLevel());
    EXPECT_EQ(0, reader.GetSpaces()[0].origin[0]);
}

TEST(AtlasConfigReader, RefusesIncompleteAndOutOfRangeFiles)
{
    EXPECT_EQ("Atlas ID out of range.", FailureOf(Minimal("", "name=\"A\" id=\"0\"")));
    EXPECT_EQ("Atlas ID out of range.", FailureOf(Minimal("", "name=\"A\" id=\"abc\"")));
    EXPECT_EQ("Atlas ID out of range.", FailureOf(Minimal("", "name=\"A\" id=\"-4\"")));
    EXPECT_EQ("Atlas version out of range.", FailureOf(Minimal("", "name=\"A\" id=\"1\" version=\"-1\"")));
    EXPECT_EQ("Minimum application version out of range.",
              FailureOf(Minimal("", "name=\"A\" id=\"1\" min-app-version=\"-2\"")));
    EXPECT_EQ("Atlas configuration file is incomplete.", FailureOf(Minimal("", "name=\"A\"")));
    EXPECT_EQ("Atlas configuration file is incomplete.", FailureOf(Minimal("", "id=\"2\"")));
    EXPECT_EQ("Atlas configuration file is incomplete.", FailureOf("<atlas name=\"A\" id=\"1\"/>"));
    EXPECT_EQ("Atlas configuration file is incomplete.",
              FailureOf("<atlas name=\"A\" id=\"1\"><space name=\"S\"><view-volume>"
                        "<size width=\"1\" height=\"1\" depth=\"1\"/><pixel-spacing width=\"1\" height=\"1\""
                        " depth=\"1\"/></view-volume><tissue-volume><size width=\"1\" height=\"1\" depth=\"1\"/>"
                        "</tissue-volume></space></atlas>"));

    const std::string tissue = "<space name=\"T\"><tissue-volume>";
    EXPECT_EQ("Atlas dimension out of range.", FailureOf(Minimal(tissue + "<size other=\"0\"/>")));
    EXPECT_EQ("Pixel spacing out of range.", FailureOf(Minimal(tissue + "<pixel-spacing depth=\"-1\"/>")));
    EXPECT_EQ("Pixel spacing out of range.", FailureOf(Minimal(tissue + "<pixel-spacing depth=\"nan\"/>")));
    EXPECT_EQ("Mesh resolution out of range.", FailureOf(Minimal("<mesh-resolution>-2</mesh-resolution>")));
    EXPECT_EQ("Incomplete transform matrix in atlas configuration file.",
              FailureOf(Minimal(tissue + "<transform>1 0 0 0 0 1 0 0 0 0 1 0 0 0 0</transform>")));
    EXPECT_EQ("Incomplete transform matrix in atlas configuration file.",
              FailureOf(Minimal(tissue + "<mni-transform>1 0 x</mni-transform>")));
    EXPECT_EQ("Incomplete compass transform matrix in atlas configuration file.",
              FailureOf(Minimal("<compass-transform>1 2 3</compass-transform>")));
    EXPECT_EQ("Incomplete default rotation in atlas configuration file.",
              FailureOf(Minimal("<default-rotation>1 2 3</default-rotation>")));
    EXPECT_EQ("Default ontology level out of range.",
              FailureOf(Minimal("<default-ontology-display-level>-1</default-ontology-display-level>")));
}

// The view grid is resampled from the atlas grid: one that claims more voxels would be allocated, filled
// and cached in Local at whatever size the file names.
TEST(AtlasConfigReader, ViewGridIsNoLargerThanTheAtlasGrid)
{
    const struct
    {
        const char* view;
        const char* atlas;
        bool accepted;
    } cases[] = {
        {"width=\"65535\" height=\"65535\" depth=\"1\"", "width=\"4\" height=\"4\" depth=\"4\"", false},
        {"width=\"2147483647\" height=\"2147483647\" depth=\"2147483647\"",
         "width=\"2147483647\" height=\"2147483647\" depth=\"2147483646\"", false},
        {"width=\"5\" height=\"5\" depth=\"5\"", "width=\"5\" height=\"5\" depth=\"4\"", false},
        {"width=\"5\" height=\"5\" depth=\"4\"", "width=\"5\" height=\"4\" depth=\"5\"", true},
        {"width=\"1\" height=\"1\" depth=\"100\"", "width=\"10\" height=\"10\" depth=\"1\"", true},
    };
    for (const auto& c : cases)
    {
        const std::string xml =
            std::string("<atlas name=\"A\" id=\"1\"><space name=\"S\"><view-volume><size ") + c.view +
            "/><pixel-spacing width=\"1\" height=\"1\" depth=\"1\"/></view-volume>" + "<tissue-volume><size " +
            c.atlas + "/><pixel-spacing width=\"1\" height=\"1\" depth=\"1\"/></tissue-volume>" + "</space></atlas>";
        if (c.accepted)
        {
            TempDir dir;
            const std::string path = dir.Write("Info.xml", xml);
            EXPECT_NO_THROW(AtlasConfigReader reader(path.c_str())) << c.view << " over " << c.atlas;
        }
        else
        {
            EXPECT_EQ("Invalid image dimension", FailureOf(xml)) << c.view << " over " << c.atlas;
        }
    }
}

TEST(AtlasConfigReader, RefusesBrokenTemplatesAndDocuments)
{
    // A stray percent sign or an absurd placeholder number makes the template unusable.
    // So does a field width, precision or tab column that would take gigabytes to format.
    for (const char* url :
         {"%1%/a?x=50%", "%1%/a?x=%2", "%1%/x?%99999999%", "%1%/%|", "%1%/%1$1999999999s", "%1%/%|1$-1999999999|",
          "%1%/%1$.1999999999s", "%1%/%|1$t1999999999|", "%1%/%|2$1999999999T*|%2%"})
        EXPECT_EQ("Error parsing atlas configuration file.",
                  FailureOf(Minimal(std::string("<urls base=\"B\"><grid>") + url + "</grid></urls>")))
            << url;
    EXPECT_EQ("Error parsing atlas configuration file.", FailureOf(Minimal("").substr(0, 60)));
    EXPECT_EQ("Error parsing atlas configuration file.", FailureOf(""));
    EXPECT_EQ("Error parsing atlas configuration file.", FailureOf(Minimal("<urls>") + "</urls>"));

    TempDir dir;
    const std::string missing = dir.File("Info.xml");
    EXPECT_EQ("Atlas configuration file could not be opened.",
              MessageOf<std::runtime_error>([&] { AtlasConfigReader reader(missing.c_str()); }));
    EXPECT_EQ("Atlas configuration file path not specified.",
              MessageOf<std::invalid_argument>([] { AtlasConfigReader reader(nullptr); }));
}

TEST(AtlasConfigReader, KeepsLongNumbersOutsideTemplateDirectives)
{
    TempDir dir;
    const AtlasConfigReader reader(
        dir.Write("Info.xml", Minimal("<urls base=\"http://B\"><grid>%1%/1999999999/%2%?n=%%1999999999</grid></urls>"))
            .c_str());
    ASSERT_EQ(1u, reader.GetUrls().size());
    EXPECT_EQ("http://B/1999999999/%1%?n=%1999999999", reader.GetUrls()[0].grid);
}

TEST(AtlasConfigReader, ReadsADocumentThatEndsOnAChunkBoundary)
{
    const size_t padding = 2 * 4096 - Minimal("<!---->").size();
    const std::string xml = Minimal("<!--" + std::string(padding, ' ') + "-->");
    ASSERT_EQ(2u * 4096u, xml.size());
    TempDir dir;
    const AtlasConfigReader reader(dir.Write("Info.xml", xml).c_str());
    EXPECT_EQ("A", reader.GetName());
}

TEST(AtlasConfigReader, SurvivesTruncatedFiles)
{
    TempDir dir;
    const std::string xml = INFO_XML.substr(0, 200) + INFO_XML.substr(INFO_XML.find("-->"));
    for (size_t length = 0; length < xml.size(); length += 3)
    {
        const std::string path = dir.Write("Info.xml", xml.substr(0, length));
        EXPECT_THROW(AtlasConfigReader reader(path.c_str()), std::runtime_error) << length;
    }
}
