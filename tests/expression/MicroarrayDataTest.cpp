// Microarray data sets: the probe index, installed values read from "samples.raw" beside numpy's read
// of the same bytes, downloaded values with their statistics, per-structure summaries, the selection
// text and the model's sample selection across probes.

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "expression/BrainExpressionModel.h"
#include "expression/MicroarrayExpression.h"
#include "expression/MicroarrayExpressionUnionizer.h"
#include "expression/ProbeDatabase.h"

#include "MicroarrayTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace
{

const float INF = std::numeric_limits<float>::infinity();

std::string Describe(const ProbeDatabase::ProbeInfo& p)
{
    return std::to_string(p.index) + "|" + std::to_string(p.id) + "|" + p.probeName + "|" + std::to_string(p.geneId) +
           "|" + p.geneSymbol + "|" + p.geneName + "|" + std::to_string(p.entrezId);
}

std::vector<std::string> Describe(const ProbeDatabase& database)
{
    std::vector<std::string> records;
    for (unsigned int i = 0; i < database.GetNumProbes(); ++i)
        records.push_back(Describe(database.FindProbeByIndex(i)));
    return records;
}

template <class Call>
std::string ErrorOf(Call call)
{
    try
    {
        call();
    }
    catch (const std::exception& error)
    {
        return error.what();
    }
    return "no error";
}

// Python's reading of the probe index, in the same record form; the closing record last.
const char* const PYTHON_PROBES = R"(
import csv, sys
rows = list(csv.reader(open(sys.argv[1], newline="")))[1:]
for i, r in enumerate(rows):
    print("%d|%s|%s|%s|%s|%s|%s" % (i, r[0], r[1], r[2], r[3], r[4], r[5] or "0"))
print("%d|0|n/a|0|n/a|n/a|0" % len(rows))
prefix = sys.argv[2].lower()
found = [(r[3].lower(), i) for i, r in enumerate(rows) if r[3].lower().startswith(prefix)]
print("search " + " ".join(str(i) for _, i in sorted(found)))
)";

class MicroarrayDataTest : public ModelTest
{
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        if (IsSkipped())
            return;
        MicroarrayExpression::ResetProcessWideState();
    }
    void TearDown() override
    {
        MicroarrayExpression::ResetProcessWideState();
        ModelTest::TearDown();
    }

    // Placed from downloaded values, as the download does.
    static std::shared_ptr<MicroarrayExpression> Placed(AtlasSpace* space, unsigned int probeId,
                                                        const std::vector<PointSet::Point3d>& points,
                                                        const std::vector<float>& values)
    {
        auto data = std::make_shared<MicroarrayExpression>("gene", "SYM", "P_1", probeId, 77, 88);
        auto samples = std::make_shared<PointSet>();
        samples->points = points;
        data->LoadAtlasSpace(values.data(), samples, space);
        return data;
    }
};

TEST_F(MicroarrayDataTest, ProbeIndexOfTheGeneratorReadsAsPythonReadsIt)
{
    if (!HavePython())
        GTEST_SKIP() << "no Python in this build";
    const std::string path = Microarray351Folder("micro") + "/probe_info.csv";
    ProbeDatabase database(path);
    std::vector<std::string> expected = Lines(PythonOutput(PYTHON_PROBES, {path, "OSK"}));
    const std::string search = expected.back();
    expected.pop_back();
    EXPECT_EQ(expected, Describe(database));

    std::vector<const ProbeDatabase::ProbeInfo*> found;
    database.FindProbesByGeneName("OSK", found);
    std::string indexes = "search";
    for (const ProbeDatabase::ProbeInfo* probe : found)
        indexes += " " + std::to_string(probe->index);
    EXPECT_EQ(search, indexes);
    EXPECT_GE(found.size(), 2u);

    // Id 0 is the closing record.
    EXPECT_EQ("n/a", database.FindProbeById(0).geneSymbol);
    EXPECT_EQ(database.GetNumProbes() - 1, database.FindProbeIndexFromId(0));
    EXPECT_EQ("Probe not found.", ErrorOf([&] { database.FindProbeById(4242); }));
    EXPECT_EQ("Probe not found.", ErrorOf([&] { database.FindProbeByIndex(database.GetNumProbes()); }));

    // A copy written with Python's csv module ends its lines in CR LF.
    TempDir dir;
    const std::string copy = dir.File("crlf.csv");
    PythonOutput("import csv, sys\nrows = list(csv.reader(open(sys.argv[1], newline='')))\n"
                 "csv.writer(open(sys.argv[2], 'w', newline='')).writerows(rows)\n",
                 {path, copy});
    ASSERT_NE(std::string::npos, ReadBytes(copy).find("\r\n"));
    ProbeDatabase crlf(copy);
    EXPECT_EQ(Describe(database), Describe(crlf));
}

TEST_F(MicroarrayDataTest, ProbeIndexFilesGoodAndBad)
{
    struct Case
    {
        const char* name;
        const char* text; // null: no file
        std::vector<std::string> records;
        std::string error; // "%1%" stands for the path
    };
    const std::string closing1 = "1|0|n/a|0|n/a|n/a|0";
    const Case cases[] = {
        {"no file", nullptr, {}, "Could not open probe index file: %1%"},
        {"empty", "", {}, "Unexpected end of probe index file: %1%"},
        {"header only", "probe_id,probe_name,gene_id,gene_symbol,gene_name,entrez_id\n", {"0|0|n/a|0|n/a|n/a|0"}, ""},
        {"five fields end the rows",
         "h\n5,P5,50,Ab,Gene ab,\n6,P6,60,Cd,Gene cd\n7,P7,70,Ef,Gene ef,700\n",
         {"0|5|P5|50|Ab|Gene ab|0", closing1},
         ""},
        {"no final line feed", "h\n5,P5,50,Ab,\"Gene, ab\",9", {"0|5|P5|50|Ab|Gene, ab|9", closing1}, ""},
        {"a repeated id points at its last row",
         "h\n5,P5,50,Ab,A,1\n5,P5b,51,Cd,C,2\n",
         {"0|5|P5|50|Ab|A|1", "1|5|P5b|51|Cd|C|2", "2|0|n/a|0|n/a|n/a|0"},
         ""},
        {"a probe id that is no number",
         "h\n5,P5,50,Ab,A,1\nx5,P6,60,Cd,C,2\n",
         {},
         "Probe index file could not be read: %1% (line 3)"},
        {"an entrez id beyond 32 bits",
         "h\n5,P5,50,Ab,A,99999999999\n",
         {},
         "Probe index file could not be read: %1% (line 2)"},
    };
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(std::string(c.name) + ".csv");
        if (c.text)
            WriteWholeFile(path, c.text);
        std::string error = c.error;
        if (const std::size_t at = error.find("%1%"); at != std::string::npos)
            error.replace(at, 3, path);
        try
        {
            ProbeDatabase database(path);
            EXPECT_EQ("", error);
            EXPECT_EQ(c.records, Describe(database));
        }
        catch (const std::runtime_error& failure)
        {
            EXPECT_EQ(error, failure.what());
        }
    }
    ProbeDatabase repeated(dir.File("a repeated id points at its last row.csv"));
    EXPECT_EQ(1u, repeated.FindProbeIndexFromId(5));
}

// numpy's read of each donor's "samples.raw": per probe row, the bits of its n + 2 floats; then the wells.
const char* const PYTHON_SAMPLES = R"(
import csv, sys
import numpy as np
space, probes = sys.argv[1], int(sys.argv[2])
wells = [int(r[0]) for r in list(csv.reader(open(space + "/samples_columns.csv", newline="")))[1:]]
rows = np.fromfile(space + "/samples.raw", dtype="<f4").reshape(probes, len(wells) + 2)
for row in rows:
    print(" ".join(str(b) for b in row.view("<u4")))
print("wells " + " ".join(str(w) for w in wells))
)";

std::string Bits(const std::vector<float>& values)
{
    std::string text;
    for (const float value : values)
    {
        std::uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        text += (text.empty() ? "" : " ") + std::to_string(bits);
    }
    return text;
}

TEST_F(MicroarrayDataTest, InstalledValuesEqualNumpysReadOfTheSampleFile)
{
    if (!HavePython())
        GTEST_SKIP() << "no Python in this build";
    const std::string folder = Microarray351Folder("micro");
    Atlas atlas(folder);
    ProbeDatabase probes(folder + "/probe_info.csv");
    const unsigned int rows = probes.GetNumProbes() - 1;
    ASSERT_EQ(2u, atlas.GetNumSpaces());
    for (unsigned int s = 0; s < atlas.GetNumSpaces(); ++s)
    {
        AtlasSpace* space = atlas.GetSpace(s);
        SCOPED_TRACE(space->GetName());
        std::vector<std::string> expected =
            Lines(PythonOutput(PYTHON_SAMPLES, {space->GetPath(), std::to_string(rows)}));
        ASSERT_EQ(rows + 1, expected.size());
        std::vector<unsigned int> wells;
        std::istringstream wellText(expected.back().substr(6));
        for (unsigned int well; wellText >> well;)
            wells.push_back(well);
        for (unsigned int row = 0; row < rows; ++row)
        {
            const ProbeDatabase::ProbeInfo& probe = probes.FindProbeByIndex(row);
            MicroarrayExpression data("", "", "", 0, 0, 0);
            data.LoadAtlasSpace(probe.id, space);
            EXPECT_EQ(probe.geneSymbol, data.GetLabel());
            EXPECT_EQ(static_cast<int>(probe.id), data.GetExperimentId());
            const std::vector<float>* levels = data.GetMicroarrayExpressionLevels(space);
            ASSERT_NE(nullptr, levels);
            EXPECT_EQ(expected[row], Bits(*levels)) << "probe row " << row;
            for (std::size_t k = 0; k < wells.size(); ++k)
            {
                EXPECT_EQ(k + 1, data.GetGridIdFromSampleId(wells[k], space));
                EXPECT_EQ(wells[k], data.GetSampleIdFromGridId(static_cast<unsigned int>(k + 1), space));
                const Expressor* expressor = data.GetExpressorAtGrid(static_cast<unsigned int>(k + 1), space);
                ASSERT_NE(nullptr, expressor);
                EXPECT_EQ((*levels)[k + 2], expressor->intensity);
            }
        }
    }
}

TEST_F(MicroarrayDataTest, InstalledFilesThatCannotBeRead)
{
    TempDir dir;
    const std::string folder = dir.File("351");
    std::filesystem::copy(Microarray351Folder("micro"), folder, std::filesystem::copy_options::recursive);
    Atlas atlas(folder);
    AtlasSpace* first = atlas.GetSpace(0u);
    AtlasSpace* second = atlas.GetSpace(1u);
    const std::string raw = first->GetPath() + "/samples.raw";
    const std::string bytes = ReadBytes(raw);
    ProbeDatabase probes(folder + "/probe_info.csv");
    const unsigned int lastRow = probes.GetNumProbes() - 2;
    const unsigned int lastId = probes.FindProbeByIndex(lastRow).id;

    struct Case
    {
        const char* name;
        std::function<void()> damage;
        AtlasSpace* space;
        unsigned int probeId;
        std::string error;
    };
    const Case cases[] = {
        {"the last row whole", [] {}, first, lastId, "no error"},
        {"the last row cut short", [&] { WriteWholeFile(raw, bytes.substr(0, bytes.size() - 4)); }, first, lastId,
         "Sample file could not be read: " + raw},
        {"no sample file", [&] { std::filesystem::remove(raw); }, first, lastId,
         "Sample file could not be opened: " + raw},
        {"an unknown probe", [] {}, second, 4242, "Probe not found."},
        {"a space without samples", [&] { std::filesystem::remove(second->GetPath() + "/samples_columns.csv"); },
         second, lastId, "Microarray values not available"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        c.damage();
        MicroarrayExpression data("", "", "", 0, 0, 0);
        EXPECT_EQ(c.error, ErrorOf([&] { data.LoadAtlasSpace(c.probeId, c.space); }));
        // A failed load leaves the space added.
        EXPECT_TRUE(data.HasAtlasSpace(c.space));
    }
    // Row 2^29 + 1 of 56-byte rows lies far beyond the file; in 32 bits its offset would wrap to row 1.
    WriteWholeFile(raw, bytes);
    MicroarrayExpression far("", "", "", 0, 0, 0);
    far.AddAtlasSpace(first);
    EXPECT_EQ("Sample file could not be read: " + raw, ErrorOf([&] { far.ReadMicroarrayFile(first, 536870913u); }));
}

TEST_F(MicroarrayDataTest, DownloadedValuesAndTheirStatistics)
{
    auto model = MakeModel(351);
    Atlas* atlas = model->GetAtlas();
    AtlasSpace* space = atlas->GetSpace(0u);
    struct Case
    {
        const char* name;
        std::vector<PointSet::Point3d> points;
        std::vector<float> values;
        std::vector<float> levels;         // expected
        std::vector<unsigned int> gridIds; // of the points' ids, in order
    };
    const std::vector<PointSet::Point3d> three = {SamplePoint(11, 0, 1, 2, 3, 2022), SamplePoint(12, 1, 4, 5, 6, 2022),
                                                  SamplePoint(13, 2, 7, 8, 9, 2077)};
    const Case cases[] = {
        {"mean and deviation", three, {1, 2, 3}, {2, std::sqrt(2.0f / 3.0f), 1, 2, 3}, {1, 2, 3}},
        {"a mean of 0 has deviation 1", three, {-1, 1, 0}, {0, 1, -1, 1, 0}, {1, 2, 3}},
        {"missing values are not counted", three, {2, INF, 4}, {3, 1, 2, INF, 4}, {1, 2, 3}},
        {"nothing measured", three, {INF, INF, INF}, {0, 1, INF, INF, INF}, {1, 2, 3}},
        {"samples without a position keep their place",
         {SamplePoint(21, -1, 0, 0, 0, 2022), SamplePoint(22, 1, -1, -1, -1, 2022), SamplePoint(23, 2, 5, -0.5f, 5, 0),
          SamplePoint(24, 3, 5, 5, 5, 2022)},
         {4, 4, 4, 8},
         {5, std::sqrt(3.0f), 4, 4, 4, 8},
         {0, 0, 0, 4}},
        {"an index beyond the levels",
         {SamplePoint(31, 0, 1, 1, 1, 2022), SamplePoint(32, 7, 2, 2, 2, 2022)},
         {1, 3},
         {2, 1, 1, 3},
         {1, 0}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        auto data = Placed(space, 5, c.points, c.values);
        const std::vector<float>* levels = data->GetMicroarrayExpressionLevels(space);
        ASSERT_NE(nullptr, levels);
        ASSERT_EQ(c.levels.size(), levels->size());
        for (std::size_t i = 0; i < levels->size(); ++i)
            EXPECT_FLOAT_EQ(c.levels[i], (*levels)[i]) << i;
        // The expressors' own statistics would count the missing values: the downloaded ones stand.
        EXPECT_FLOAT_EQ(c.levels[0], data->GetMean());
        EXPECT_FLOAT_EQ(c.levels[1], data->GetStandardDeviation());
        const std::vector<Expressor>* expressors = data->GetExpressors(space);
        unsigned int previous = 0;
        for (std::size_t k = 0; k < c.points.size(); ++k)
        {
            const unsigned int gridId = data->GetGridIdFromSampleId(c.points[k].id, space);
            EXPECT_EQ(c.gridIds[k], gridId) << "sample " << k;
            if (gridId == 0)
                continue;
            EXPECT_EQ(c.points[k].id, data->GetSampleIdFromGridId(gridId, space));
            const Expressor* expressor = data->GetExpressorAtGrid(gridId, space);
            ASSERT_NE(nullptr, expressor);
            EXPECT_EQ(c.points[k].x, expressor->position[0]);
            EXPECT_EQ(c.values[k], expressor->intensity);
            EXPECT_EQ(6000.0f, expressor->density);
            EXPECT_GT(gridId, previous);
            previous = gridId;
        }
        ASSERT_NE(nullptr, expressors);
        EXPECT_EQ(std::count_if(c.gridIds.begin(), c.gridIds.end(), [](unsigned int id) { return id != 0; }),
                  static_cast<long>(expressors->size()));
        EXPECT_EQ(0u, data->GetSampleIdFromGridId(0, space));
        EXPECT_EQ(0u, data->GetGridIdFromSampleId(c.points[0].id, atlas->GetSpace(1u)));
        EXPECT_EQ(MicroarrayExpression::DEFAULT_MICROARRAY_EXPRESSION_LEVEL_RANGE, data->GetDisplayRange());
        EXPECT_EQ("SYM - P_1", data->GetLabel()); // two donors
    }
}

TEST_F(MicroarrayDataTest, UnionizedStructures)
{
    auto model = MakeModel(351);
    const BrainOntology& ontology = *model->GetAtlas()->GetOntology();
    auto byId = [&](unsigned long id) { return ontology.GetAnnotationLabelByDatabaseId(id); };
    PointSet samples;
    samples.points = {SamplePoint(1, 0, 1, 1, 1, 2033), SamplePoint(2, 1, 2, 2, 2, 2022),
                      SamplePoint(3, 2, 3, 3, 3, 2077), SamplePoint(4, 3, 4, 4, 4, 777777)};
    PointSet out;
    out.points = {SamplePoint(9, 0, 0, 0, 0, 2022), SamplePoint(9, 1, 0, 0, 0, 2022)};
    // CH holds OLF (in Cx) and Cx; TH holds only a missing value; CB holds no sample and is not kept.
    MicroarrayExpressionUnionizer unionizer(ontology, samples, {byId(1001), byId(2022), byId(2077), byId(1003)}, out);
    ASSERT_EQ(3u, unionizer.GetNumStructures());
    const float values[] = {1.0f, 3.0f, INF, 5.0f};
    float summary[3];
    unionizer.Unionize(values, 4, summary);
    EXPECT_NEAR(2.3219f, summary[0], 1e-4f); // log2 of the mean of 2 and 8
    EXPECT_NEAR(2.3219f, summary[1], 1e-4f);
    EXPECT_EQ(INF, summary[2]);
    unionizer.Unionize(values, 1, summary); // only the first value is given
    EXPECT_FLOAT_EQ(1.0f, summary[0]);
    EXPECT_EQ(INF, summary[2]);

    ASSERT_EQ(5u, out.points.size());
    const unsigned long structures[] = {1001, 2022, 2077};
    const unsigned int copied[] = {1, 1, 3};
    for (int s = 0; s < 3; ++s)
    {
        const PointSet::Point3d& point = out.points[static_cast<std::size_t>(2 + s)];
        EXPECT_EQ(2 + s, point.index);
        EXPECT_EQ(structures[s], point.structureId);
        EXPECT_EQ(byId(structures[s]), point.label);
        EXPECT_EQ(copied[s], point.id);
    }
}

TEST_F(MicroarrayDataTest, SelectionTextOfASample)
{
    auto model = MakeModel(351);
    AtlasSpace* space = model->GetAtlas()->GetSpace(0u);
    auto data = Placed(space, 5, {SamplePoint(1, 0, 10, 20, 30, 2022), SamplePoint(2, 1, 0, 0, 0, 0)}, {6, 2});
    // The generator's MNI transform of this space moves by (-4.5, -0.5, -5) at scale 1, worked out by hand
    // from its file: read transposed, the translation would fall out of the coordinates.
    const float* m = space->GetMNITransform();
    ASSERT_EQ(std::vector<float>({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -4.5f, -0.5f, -5, 1}),
              std::vector<float>(m, m + 16));
    std::stringstream text;
    data->PrintSelectionInfo(text, data->GetExpressorAtGrid(1, space), space);
    EXPECT_EQ("Gene: SYM\nAnnotation: Cerebral cortex (Cx) \nLog2 Level: 6\nZ-score: 1\n"
              "MNI Coord.: 5.500000, 19.500000, 25.000000",
              text.str());
    std::stringstream corner;
    data->PrintSelectionInfo(corner, data->GetExpressorAtGrid(2, space), space);
    EXPECT_EQ("Gene: SYM\nAnnotation: n/a\nLog2 Level: 2\nZ-score: -1\nMNI Coord.: -4.500000, -0.500000, -5.000000",
              corner.str());
    std::stringstream none;
    data->PrintSelectionInfo(none, nullptr, space);
    EXPECT_EQ("", none.str());
}

TEST_F(MicroarrayDataTest, TheSelectedSampleStaysSelectedFromProbeToProbe)
{
    auto model = MakeModel(351);
    AtlasSpace* space = model->GetAtlas()->GetSpace(0u);
    const std::vector<PointSet::Point3d> points = {SamplePoint(501, 0, 10, 20, 30, 2022),
                                                   SamplePoint(502, 1, 12, 22, 32, 2077)};
    auto first = Placed(space, 1001, points, {6, 2});
    auto second = Placed(space, 1004, {points[1], points[0]}, {3, 4}); // another order, other grid ids
    ASSERT_TRUE(model->AddGeneExpression(first, true));
    ASSERT_TRUE(model->AddGeneExpression(second, true));

    model->SelectExpressor(first.get(), space, first->GetExpressorAtGrid(2, space), true);
    EXPECT_EQ(502u, model->GetSelectedSampleId());
    EXPECT_EQ(space, model->GetSelectedSampleSpace());
    std::string url;
    ASSERT_TRUE(model->GetSelectedExpressorImageUrl(url));
    EXPECT_NE(std::string::npos, url.find("probe=1001&space=1&sample=502&mode=jet&window=2,10")) << url;

    // Choosing the other probe selects the same sample in it.
    m_recorder.events.clear();
    model->SelectGene(second.get(), true);
    EXPECT_EQ(second.get(), model->GetSelectedExpressorsGene());
    EXPECT_EQ(second->GetExpressorAtGrid(1, space), model->GetSelectedExpressor());
    EXPECT_NE(m_recorder.events.end(), std::find(m_recorder.events.begin(), m_recorder.events.end(),
                                                 std::make_pair(int(SELECTED_EXPRESSOR_CHANGED), 0)));

    // A sample picked in another probe is the one selected, not the sample selected before.
    model->SelectExpressor(first.get(), space, first->GetExpressorAtGrid(1, space), true);
    EXPECT_EQ(first->GetExpressorAtGrid(1, space), model->GetSelectedExpressor());
    EXPECT_EQ(501u, model->GetSelectedSampleId());
    EXPECT_EQ(first.get(), model->GetSelectedGene());
}

} // namespace
