#include "DataSetFixture.h"

#include "atlas/AnnotationLabel.h"
#include "core/MemoryStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{
struct ExpectedCell
{
    float position[3];
    float intensity;
    float density;
    float annotation;
};

std::vector<ExpectedCell> ExpectedCells(const std::string& name)
{
    const std::string bytes = FixtureBytes("expect/" + name + ".cells");
    std::vector<ExpectedCell> cells(bytes.size() / sizeof(ExpectedCell));
    std::memcpy(cells.data(), bytes.data(), cells.size() * sizeof(ExpectedCell));
    return cells;
}

struct ExpectedStats
{
    std::size_t count = 0;
    double mean = 0.0;
    double deviation = 0.0;
};

ExpectedStats ExpectedStatistics(const std::string& name)
{
    ExpectedStats stats;
    std::istringstream(FixtureBytes("expect/" + name + ".stats")) >> stats.count >> stats.mean >> stats.deviation;
    return stats;
}

std::size_t ExpectedCount(const std::string& name)
{
    std::size_t count = 0;
    std::istringstream(FixtureBytes("expect/" + name + ".count")) >> count;
    return count;
}

bool Near(float actual, float expected)
{
    return std::fabs(actual - expected) <= 1e-4f * std::max(1.0f, std::fabs(expected));
}

// Every expressor against numpy's reading of the same bytes: ids 1..n in order, position, values and
// the structure that the atlas's own annotation file puts there; and every feature holds exactly the
// expressors of its structure.
void ExpectPlacement(GeneExpression& gene, const AtlasSpace* space, const std::string& name)
{
    const std::vector<ExpectedCell> expected = ExpectedCells(name);
    const std::vector<Expressor>* expressors = gene.GetExpressors(space);
    ASSERT_NE(expressors, nullptr);
    ASSERT_EQ(expressors->size(), expected.size());
    int mismatches = 0;
    for (std::size_t i = 0; i < expected.size() && mismatches < 5; ++i)
    {
        const Expressor& e = (*expressors)[i];
        const ExpectedCell& x = expected[i];
        const unsigned int value = e.label ? e.label->annotationValue : 0;
        const bool same = e.id == i + 1 && Near(e.position[0], x.position[0]) && Near(e.position[1], x.position[1]) &&
                          Near(e.position[2], x.position[2]) && Near(e.intensity, x.intensity) &&
                          Near(e.density, x.density) && value == static_cast<unsigned int>(x.annotation);
        if (!same)
        {
            ++mismatches;
            ADD_FAILURE() << name << " expressor " << i << ": id " << e.id << " at " << e.position[0] << ","
                          << e.position[1] << "," << e.position[2] << " value " << e.intensity << " density "
                          << e.density << " structure " << value << "; expected " << x.position[0] << ","
                          << x.position[1] << "," << x.position[2] << " value " << x.intensity << " density "
                          << x.density << " structure " << x.annotation;
        }
    }
    const std::vector<BrainFeature>* features = gene.GetBrainFeatures(space);
    ASSERT_NE(features, nullptr);
    std::size_t placed = 0;
    for (std::size_t i = 0; i < features->size(); ++i)
    {
        const BrainFeature& feature = (*features)[i];
        ASSERT_NE(feature.label, nullptr);
        EXPECT_EQ(feature.label->index, i);
        for (const Expressor* e : feature.expressors)
            EXPECT_EQ(e->label, feature.label);
        // Bands of the grid fill their stretches of each list: together still in cell order.
        EXPECT_TRUE(std::is_sorted(feature.expressors.begin(), feature.expressors.end(),
                                   [](const Expressor* a, const Expressor* b) { return a <= b; }))
            << name << " structure " << i;
        placed += feature.expressors.size();
    }
    std::size_t labelled = 0;
    for (const ExpectedCell& cell : expected)
        labelled += cell.annotation != 0.0f;
    EXPECT_EQ(placed, labelled);

    // Whatever adds them up, the statistics are those of the intensities added one by one, to the bit.
    std::size_t counted = 0;
    double sum = 0.0;
    double squares = 0.0;
    for (const Expressor& e : *expressors)
        if (e.intensity >= 0.0f)
        {
            ++counted;
            sum += e.intensity;
            squares += double(e.intensity) * e.intensity;
        }
    if (counted != 0)
    {
        const float mean = static_cast<float>(sum / counted);
        EXPECT_EQ(gene.GetMean(), mean) << name;
        const double variance = squares / counted - double(mean * mean);
        EXPECT_EQ(gene.GetStandardDeviation(), static_cast<float>(std::sqrt(std::max(variance, 0.0)))) << name;
    }
    const ExpectedStats stats = ExpectedStatistics(name);
    EXPECT_NEAR(gene.GetMean(), stats.mean, 1e-3 * std::max(1.0, stats.mean));
    EXPECT_NEAR(gene.GetStandardDeviation(), stats.deviation, 1e-3 * std::max(1.0, stats.deviation));
}

std::unique_ptr<GeneExpression> Light(const std::string& relative, const std::string& code, AtlasSpace* space)
{
    auto gene = std::make_unique<GeneExpression>("n", "s", code.c_str(), 5, 0, 1.0f);
    if (space)
        gene->AddAtlasSpace(space);
    const std::string bytes = FixtureBytes(relative);
    MemoryStreamRef stream(bytes.data(), static_cast<unsigned int>(bytes.size()));
    gene->LoadAtlasSpace(stream, true, nullptr);
    return gene;
}
} // namespace

TEST_F(DataSetTest, GeneDataSetsArePlacedAsNumpyReadsThem)
{
    struct Case
    {
        const char* name;
        const char* project;
        const char* label;
    };
    const std::string space350 = FixtureBytes("sets/gene-350.space");
    for (const Case& c : {Case{"gene-310", "0310", " (P56)"}, Case{"gene-350", "0350", ""}})
    {
        SCOPED_TRACE(c.name);
        const std::unique_ptr<GeneExpression> gene = Decode(std::string("sets/") + c.name + ".zip");
        AtlasSpace* space = Space(c.project, FixtureBytes(std::string("sets/") + c.name + ".space").c_str());
        ASSERT_NE(space, nullptr);
        EXPECT_EQ(gene->GetAtlasSpace(0), space);
        EXPECT_EQ(gene->GetNumAtlasSpaces(), 1);
        EXPECT_TRUE(gene->IsLoaded());
        EXPECT_EQ(gene->GetDataType(), GeneExpression::GENE_EXPRESSION);
        EXPECT_EQ(gene->GetGridValueScale(), 0.02f);
        EXPECT_TRUE(gene->GetGridValues().empty());
        const std::string qualifier = *c.label ? c.label : " (" + space350 + ")";
        EXPECT_EQ(gene->GetLabel(), gene->GetSymbol() + qualifier);
        ExpectPlacement(*gene, space, c.name);

        // Cells that a section image shows point into it.
        std::size_t shown = 0;
        for (const Expressor& e : *gene->GetExpressors(space))
            if (const ImageSeries::ImageInfo* image = gene->GetImageSeries().GetImageSection(e.section))
            {
                ++shown;
                EXPECT_LE(e.imageX, image->left + image->width + 1);
                EXPECT_LE(e.imageY, image->top + image->height + 1);
            }
        EXPECT_GT(shown, gene->GetExpressors(space)->size() / 2);
    }
}

TEST_F(DataSetTest, AProjectionLeadsWithOneExpressorPerStreamLine)
{
    const std::unique_ptr<GeneExpression> gene = Decode("sets/projection-378.zip");
    AtlasSpace* space = Space("0378", "P56");
    EXPECT_EQ(gene->GetDataType(), GeneExpression::PROJECTION);
    EXPECT_EQ(gene->GetImageSeries().GetDisplayParameter(), 0.35f);
    EXPECT_EQ(gene->GetIntensityDisplayScale(), 1000.0f);
    EXPECT_EQ(gene->GetDisplayRange(), Range(0.0f, 1000.0f));
    EXPECT_EQ(gene->GetLabel(), "CH - Cerebrum");
    ExpectPlacement(*gene, space, "projection-378");

    const std::shared_ptr<ProjectionStreamLines> lines = gene->GetProjectionData(space);
    ASSERT_TRUE(lines);
    const std::vector<ProjectionStreamLines::Line>& list = lines->GetLineList();
    ASSERT_FALSE(list.empty());
    const std::vector<Expressor>& expressors = *gene->GetExpressors(space);
    std::size_t paired = 0;
    for (std::size_t k = 0; k < list.size(); ++k)
    {
        EXPECT_EQ(expressors[k].position[0], list[k].front().position[0]);
        EXPECT_EQ(expressors[k].position[2], list[k].front().position[2]);
        paired += expressors[k].label != nullptr;
    }
    std::size_t inFeatures = 0;
    for (const BrainFeature& feature : *gene->GetBrainFeatures(space))
    {
        inFeatures += feature.streamLines.size();
        for (const ProjectionStreamLines::Line& line : feature.streamLines)
        {
            const auto k = std::find_if(list.begin(), list.end(), [&](const ProjectionStreamLines::Line& l) {
                return l.size() == line.size() && l.front().position[0] == line.front().position[0] &&
                       l.front().position[1] == line.front().position[1];
            });
            ASSERT_NE(k, list.end());
            EXPECT_EQ(expressors[k - list.begin()].label, feature.label);
        }
    }
    EXPECT_EQ(inFeatures, paired);

    // Injection-site cells are last, carry no intensity and print none.
    const Expressor& injection = expressors.back();
    EXPECT_EQ(injection.intensity, Expressor::INJECTION_SITE_INTENSITY);
    std::stringstream out;
    gene->PrintSelectionInfo(out, &injection, space);
    EXPECT_NE(out.str().find("\nIntensity: n/a, Density: "), std::string::npos) << out.str();
}

TEST_F(DataSetTest, LightReadsTakeTheReducedContent)
{
    struct Case
    {
        const char* file;
        const char* code;
        const char* space;
        const char* expected;
        int type;
    };
    const Case cases[] = {
        {"sets/gene-310-light.zip", "0310", "P56", "gene-310-light", GeneExpression::GENE_EXPRESSION},
        {"sets/projection-378-light.zip", "0378", "P56", "projection-378-light", GeneExpression::PROJECTION},
        // The full zip read light: metadata and stream lines are passed over.
        {"sets/projection-378.zip", "0378", "P56", "projection-378-light", GeneExpression::PROJECTION},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.file);
        AtlasSpace* space = Space(c.code, c.space);
        const std::unique_ptr<GeneExpression> gene = Light(c.file, c.code, space);
        EXPECT_EQ(gene->GetDataType(), c.type);
        EXPECT_EQ(gene->GetName(), "n");
        EXPECT_TRUE(gene->IsLoaded());
        EXPECT_FALSE(gene->GetProjectionData(space));
        EXPECT_EQ(gene->GetExpressors(space)->size(), ExpectedCount(c.expected));
        for (const Expressor& e : *gene->GetExpressors(space))
            ASSERT_EQ(e.intensity, e.density);
    }
}

TEST_F(DataSetTest, EveryFailureGivesItsMessage)
{
    for (const std::vector<std::string>& row : ReadManifest("hostile/cases.tsv"))
    {
        ASSERT_EQ(row.size(), 5u);
        SCOPED_TRACE(row[0]);
        const bool light = row[1] == "1";
        const std::string bytes = FixtureBytes("hostile/" + row[0]);
        auto gene = std::make_unique<GeneExpression>("n", "s", row[2].c_str(), 5, 0, 1.0f);
        if (row[3] == "1")
            gene->AddAtlasSpace(Space(row[2].c_str(), "P56"));
        MemoryStreamRef stream(bytes.data(), static_cast<unsigned int>(bytes.size()));
        EXPECT_EQ(ErrorOf([&] { gene->LoadAtlasSpace(stream, light, nullptr); }), row[4]);
    }
}

TEST_F(DataSetTest, DamagedDownloadsFailClearly)
{
    struct Case
    {
        std::string bytes;
        const char* message;
    };
    const std::string zip = FixtureBytes("sets/gene-310.zip");
    const Case cases[] = {
        {FixtureBytes("sets/truncated.zip"), "Unrecognized zip stream format"},
        {FixtureBytes("sets/badcrc.zip"), "CRC error while reading zip stream."},
        {"<html><body>Not found</body></html>", "Unsupported data format."},
        // The '<' is refused before the signature would be read: one byte is enough.
        {"<", "Unsupported data format."},
        {zip.substr(0, 4), "Unexpected end of I/O stream"},
        {zip.substr(0, 3), "File size is inconsistent with atlas space dimensions."},
        {zip.substr(0, zip.size() - 30), "Unrecognized zip stream format"},
        {"", "Unexpected end of stream while reading."},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.bytes.substr(0, 16));
        const std::string message = ErrorOf([&] { GeneExpression gene(c.bytes.data(), c.bytes.size()); });
        EXPECT_EQ(message, c.message);
    }
}

TEST_F(DataSetTest, ZipsWrittenByTheTestsKeepLabelsAndRanges)
{
    for (const std::vector<std::string>& row : ReadManifest("hostile/valid.tsv"))
    {
        ASSERT_EQ(row.size(), 3u);
        SCOPED_TRACE(row[0]);
        const std::unique_ptr<GeneExpression> gene = Decode("hostile/" + row[0]);
        EXPECT_EQ(gene->GetLabel(), row[1]);
        const float scale = std::stof(row[2]);
        if (scale < 0)
            continue;
        EXPECT_EQ(gene->GetIntensityDisplayScale(), scale);
        EXPECT_EQ(gene->GetDisplayRange(), Range(0.0f, scale));
    }
}

TEST_F(DataSetTest, EmptyStreamLinesLeadNoExpressorAndAreDropped)
{
    const std::unique_ptr<GeneExpression> gene = Decode("hostile/with-lines-deflated.zip");
    const AtlasSpace* space = gene->GetAtlasSpace(0);
    const std::vector<ProjectionStreamLines::Line>& lines = gene->GetProjectionData(space)->GetLineList();
    // Four lines in the file, the second without points: three stay, each leading its expressor.
    ASSERT_EQ(lines.size(), 3u);
    const std::vector<Expressor>& expressors = *gene->GetExpressors(space);
    const float firstX[] = {1.0f, 0.2f, 3.0f};
    // The mask's spacing (200 µm) over the view resolution of the tiny atlas (200 µm) leaves lines as read.
    for (std::size_t k = 0; k < 3; ++k)
    {
        EXPECT_EQ(lines[k].front().position[0], firstX[k]);
        EXPECT_EQ(expressors[k].position[0], firstX[k]);
        EXPECT_EQ(expressors[k].id, k + 1);
    }
    EXPECT_EQ(expressors[0].density, 500.0f);
    EXPECT_EQ(expressors[0].intensity, 300.0f);
    // The third line thins (0.2, 0.2, 0.2) away: its first and third points stay.
    EXPECT_EQ(lines[2].size(), 2u);
}

TEST_F(DataSetTest, BareGrids)
{
    const std::string floats = FixtureBytes("sets/raw.bin");
    const std::unique_ptr<GeneExpression> gene = Decode("sets/raw.bin");
    AtlasSpace* space = Space("0310", "P56");
    ASSERT_EQ(gene->GetAtlasSpace(0), space);
    EXPECT_EQ(gene->GetGridSize()[0], 133u);
    EXPECT_EQ(gene->GetGridSize()[1], 81u);
    EXPECT_EQ(gene->GetGridSize()[2], 115u);
    EXPECT_EQ(gene->GetGridSpacing()[0], 100.0f);
    ASSERT_EQ(gene->GetGridValues().size(), 133u * 81 * 115);
    float maximum = 0.0f;
    std::istringstream(FixtureBytes("expect/raw.max")) >> maximum;
    EXPECT_NEAR(gene->GetGridValueScale(), 1.0f / maximum, 1e-6f);
    ExpectPlacement(*gene, space, "raw");

    const std::unique_ptr<GeneExpression> bytes = Decode("sets/raw8.bin");
    EXPECT_TRUE(bytes->GetExpressors(nullptr)->empty());
    EXPECT_EQ(bytes->GetGridValueScale(), 1.0f);
    ASSERT_EQ(bytes->GetGridValues().size(), 133u * 81 * 115);
    const std::string raw8 = FixtureBytes("sets/raw8.bin");
    for (std::size_t i = 0; i < raw8.size(); i += 997)
        ASSERT_EQ(bytes->GetGridValues()[i], static_cast<unsigned char>(raw8[i]) / 255.0f);
    bytes->SlimDown();
    EXPECT_TRUE(bytes->GetGridValues().empty());

    // Sizes that are neither N nor 4N bytes.
    for (const std::size_t size : {std::size_t(133 * 81 * 115 - 1), std::size_t(2 * 133 * 81 * 115)})
    {
        const std::string wrong(size, '\1');
        EXPECT_EQ(ErrorOf([&] { GeneExpression g(wrong.data(), wrong.size()); }),
                  "File size is inconsistent with atlas space dimensions.");
    }
}

TEST_F(DataSetTest, AFloatGridFollowsTheDensityAndIntensityFormulas)
{
    const std::size_t count = 133 * 81 * 115;
    std::vector<float> values(count, 1.0f);
    // Beside usable values, the kinds that have no logarithm: they make no cell and leave the maximum.
    const float special[] = {std::exp(8.0f), std::exp(6.5f), std::exp(7.0f), 0.0f, -5.0f, INFINITY, NAN, 1e-30f};
    std::memcpy(values.data(), special, sizeof special);
    const std::string bytes(reinterpret_cast<const char*>(values.data()), count * sizeof(float));
    GeneExpression gene(bytes.data(), bytes.size());
    const std::vector<Expressor>& cells = *gene.GetExpressors(nullptr);
    ASSERT_EQ(cells.size(), 3u);
    const float logs[] = {8.0f, 6.5f, 7.0f};
    const float resolution = gene.GetAtlasSpace(0)->GetViewResolution()[0];
    for (int i = 0; i < 3; ++i)
    {
        const float fraction = std::log(special[i]) / std::log(special[0]);
        EXPECT_NEAR(fraction, logs[i] / 8.0f, 1e-6f);
        EXPECT_FLOAT_EQ(cells[i].density, fraction * 0.15686f * 1000.0f * 0.5f);
        EXPECT_FLOAT_EQ(cells[i].intensity, 255.0f * std::min(std::max(2.0f * (fraction - 0.5f), 0.0f), 1.0f));
        EXPECT_FLOAT_EQ(cells[i].position[0], i * 100.0f / resolution);
    }
    EXPECT_FLOAT_EQ(cells[0].intensity, 255.0f);
    EXPECT_NEAR(gene.GetGridValueScale(), 1.0f / 8.0f, 1e-6f);
    for (float value : gene.GetGridValues())
        ASSERT_TRUE(std::isfinite(value));

    // Nothing above 1: no maximum above 0, and the scale stays 1.
    const std::vector<float> dim(count, 0.5f);
    const std::string dimBytes(reinterpret_cast<const char*>(dim.data()), count * sizeof(float));
    GeneExpression faint(dimBytes.data(), dimBytes.size());
    EXPECT_EQ(faint.GetGridValueScale(), 1.0f);
    EXPECT_TRUE(faint.GetExpressors(nullptr)->empty());
}

TEST_F(DataSetTest, FilesAreNamedByACompanionOrTheirFileName)
{
    TempDir dir;
    const std::string zip = FixtureBytes("sets/gene-310.zip");
    const std::string raw = FixtureBytes("sets/raw.bin");

    GeneExpression named;
    ASSERT_TRUE(named.LoadAtlasSpace(dir.Write("a.b.raw", raw).c_str(), nullptr));
    EXPECT_EQ(named.GetName(), "a.b");
    EXPECT_EQ(named.GetSymbol(), "a.b");
    EXPECT_EQ(named.GetLabel(), "a.b");

    dir.Write("c.xml", "<image-series><id>42</id><gene><name>Companion</name><gene-symbol>Cmp</gene-symbol></gene>"
                       "</image-series>");
    GeneExpression companion;
    companion.LoadAtlasSpace(dir.Write("c.raw", raw).c_str(), nullptr);
    EXPECT_EQ(companion.GetName(), "Companion");
    EXPECT_EQ(companion.GetSymbol(), "Cmp");
    EXPECT_EQ(companion.GetExperimentId(), 42);

    dir.Write("d.xml", "<image-series><id>4");
    GeneExpression broken;
    broken.LoadAtlasSpace(dir.Write("d.raw", raw).c_str(), nullptr);
    EXPECT_EQ(broken.GetName(), "Unknown");

    // A zip names itself; its data errors are not swallowed by the naming.
    GeneExpression fromZip;
    fromZip.LoadAtlasSpace(dir.Write("e.zip", zip).c_str(), nullptr);
    EXPECT_EQ(fromZip.GetName().empty(), false);
    EXPECT_NE(fromZip.GetName(), "e");
    GeneExpression bad;
    EXPECT_EQ(ErrorOf([&] { bad.LoadAtlasSpace(dir.Write("f.zip", zip.substr(0, 100)).c_str(), nullptr); }),
              "Unrecognized zip stream format");
    EXPECT_EQ(ErrorOf([&] { bad.LoadAtlasSpace(dir.File("missing.zip").c_str(), nullptr); }),
              "File could not be opened.");
}

TEST_F(DataSetTest, SelectionInfoLines)
{
    const std::unique_ptr<GeneExpression> gene = Decode("sets/gene-310.zip");
    const std::unique_ptr<GeneExpression> projection = Decode("hostile/range-six-stored.zip");
    const AnnotationLabel* label = (*gene->GetBrainFeatures(nullptr))[1].label;
    const std::string symbol = "Gene: " + gene->GetSymbol() + "\nAnnotation: ";
    struct Case
    {
        GeneExpression* gene;
        const AnnotationLabel* label;
        float intensity;
        std::string text;
    };
    // At 200 µm a view voxel, position 5 is 1 mm. A cell without a structure names none.
    const Case cases[] = {
        {gene.get(), label, 10.0f,
         symbol + label->name + " (" + label->abbreviation +
             ") \nIntensity: 10, Density: 0.5\nEnergy: 5\nLocation: 1, 1, 1"},
        {gene.get(), nullptr, 10.0f, symbol + "n/a\nIntensity: 10, Density: 0.5\nEnergy: 5\nLocation: 1, 1, 1"},
        {projection.get(), nullptr, Expressor::INJECTION_SITE_INTENSITY,
         "Primary Injection: INJ\nAnnotation: n/a\nIntensity: n/a, Density: 0.5\nLocation: 1, 1, 1"},
    };
    for (const Case& c : cases)
    {
        Expressor e;
        e.label = c.label;
        e.intensity = c.intensity;
        e.density = 500.0f;
        e.position[0] = e.position[1] = e.position[2] = 5.0f;
        std::stringstream out;
        c.gene->PrintSelectionInfo(out, &e, c.gene->GetAtlasSpace(0));
        EXPECT_EQ(out.str(), c.text);
    }
}

TEST_F(DataSetTest, SectionImageCoordinatesAreClampedToSixteenBits)
{
    const std::unique_ptr<GeneExpression> gene = Decode("hostile/image-offsets-deflated.zip");
    const std::vector<Expressor>& cells = *gene->GetExpressors(nullptr);
    ASSERT_FALSE(cells.empty());
    for (const Expressor& e : cells)
    {
        ASSERT_EQ(e.section, 3);
        ASSERT_EQ(e.imageX, 65535);
        ASSERT_EQ(e.imageY, 0);
    }
}
