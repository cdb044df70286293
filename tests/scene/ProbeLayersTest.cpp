// The layers that follow the probe: correlation volumes (requests, replies, windows), the rat atlas's
// resampled layer, tract volumes read from the space folder and projection maps with their afferent files.
// Requests go through a scripted transport; zips and reference volumes come from Python's zipfile and
// nibabel.

#include "SceneFixture.h"
#include "ScriptedTransport.h"
#include "core/Image3d.h"
#include "core/Image3dPlane.h"
#include "core/OSUtils.h"
#include "core/StringUtils.h"
#include "scene/KestRenderer.h"
#include "scene/ProbTrackRenderer.h"
#include "scene/ProjectionMapRenderer.h"
#include "scene/VolumeRenderer.h"
#include "scene/WaxholmKestRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <sstream>

namespace
{

using scenetest::SceneTest;

// A correlation layer that counts what it hands to its volume renderer and lets the test set its window.
class CountingKest : public KestRenderer
{
public:
    using KestRenderer::KestRenderer;
    void LoadVolume() override
    {
        ++loads;
        KestRenderer::LoadVolume();
    }
    void SetWindow(float low, float high)
    {
        m_correlationLow = low;
        m_correlationHigh = high;
    }
    int loads = 0;
};

class CountingTracts : public ProbTrackRenderer
{
public:
    using ProbTrackRenderer::ProbTrackRenderer;
    void LoadVolume() override
    {
        ++loads;
        ProbTrackRenderer::LoadVolume();
    }
    int loads = 0;
};

void RunPython(const std::string& script, const std::string& folder)
{
#ifdef CORVANE_PYTHON
    const std::string path = folder + "/script.py";
    WriteWholeFile(path, script);
    const std::string command = std::string(CORVANE_PYTHON) + " '" + path + "' '" + folder + "'";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("python failed: " + script);
#else
    (void)script;
    (void)folder;
    throw std::runtime_error("no python in this build");
#endif
}

std::vector<float> ReadFloats(const std::string& path)
{
    const std::vector<unsigned char> bytes = ReadWholeFile(path);
    std::vector<float> values(bytes.size() / 4);
    std::memcpy(values.data(), bytes.data(), values.size() * 4);
    return values;
}

class ProbeLayersTest : public SceneTest
{
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        SetPreference("VolumeRenderingActive", "true");
        PlatformHooks::SetNetTransport(&transport);
    }
    void TearDown() override
    {
        layers.clear();
        SceneTest::TearDown();
        PlatformHooks::SetNetTransport(nullptr);
    }

    void Open(std::shared_ptr<Atlas> atlas)
    {
        MakeScene(std::move(atlas));
        renderer->Reshape(640, 480);
        ASSERT_TRUE(View(0).IsVisible());
    }

    void Probe(float x, float y, float z, int space = 0)
    {
        const float location[3] = {x, y, z};
        model->SetProbeLocation(location, Space(space), false);
    }

    // Answers the last request with a status and a body.
    void Answer(int status, const std::string& body)
    {
        NetConnectionClient* client = transport.client;
        client->ConnectionResponse(status, "application/zip", body.size());
        if (status < 400)
        {
            client->ConnectionData(body.data(), body.size());
            client->ConnectionFinished();
        }
    }

    std::string LastUrl() const { return transport.requests.empty() ? "" : transport.requests.back().url; }

    ScriptedTransport transport;
    TempDir dir;
    std::vector<std::shared_ptr<void>> layers;
};

// --- Correlation requests ---

TEST_F(ProbeLayersTest, CorrelationRequestFollowsTheProbeVoxel)
{
    Open(Installed(310));
    CountingKest layer(&View(0));
    const std::string base = Installed(310)->GetHostUrl("") + "/kest/data/P56/download?seed=";
    struct Step
    {
        float position[3];
        std::string seed; // empty: no request
    };
    const Step steps[] = {
        {{0.5f, 0.5f, 0.5f}, "6600,4000,5800"}, // ⌊67 × 0.5⌋ = 33 → 6600
        {{0.501f, 0.505f, 0.501f}, ""},         // the same voxel
        {{0.1f, 0.9f, 0.999f}, "1200,7200,11400"},
        {{0.5f, 0.5f, 0.5f}, "6600,4000,5800"}, // back to the previous voxel: asked again
        {{0.0f, 0.0f, 0.0f}, "0,0,0"},
    };
    std::size_t expected = 0;
    for (const Step& step : steps)
    {
        Probe(step.position[0], step.position[1], step.position[2]);
        layer.PositionChanged(model->GetProbeLocation());
        if (!step.seed.empty())
        {
            ++expected;
            EXPECT_EQ(base + step.seed + "&age=P56", LastUrl());
        }
        EXPECT_EQ(expected, transport.requests.size()) << step.seed;
    }
}

TEST_F(ProbeLayersTest, FirstProbeAtTheOriginAsksNothing)
{
    Open(Installed(310));
    CountingKest layer(&View(0));
    Probe(0.001f, 0.001f, 0.001f);
    layer.PositionChanged(model->GetProbeLocation());
    EXPECT_TRUE(transport.requests.empty());
}

TEST_F(ProbeLayersTest, DevelopingAtlasAsksOnlyOutsideP56)
{
    Open(Installed(350));
    ASSERT_EQ(2u, model->GetAtlas()->GetNumSpaces());
    const std::string firstName = Space(0)->GetName();
    const std::string secondName = Space(1)->GetName();
    ASSERT_TRUE(firstName != "P56" && secondName != "P56");
    CountingKest layer(&View(0));
    Probe(0.5f, 0.5f, 0.5f, 1);
    layer.PositionChanged(model->GetProbeLocation());
    ASSERT_EQ(1u, transport.requests.size());
    const unsigned int* d = Space(1)->GetViewDimensions();
    const float* r = Space(1)->GetViewResolution();
    std::string seed;
    for (int a = 0; a < 3; ++a)
        seed += (a ? "," : "") + std::to_string(static_cast<unsigned int>(
                                     static_cast<float>(static_cast<unsigned int>(d[a] * 0.5f)) * r[a]));
    EXPECT_EQ(Installed(350)->GetHostUrl("") + "/kest/data/" + secondName + "/download?seed=" + seed +
                  "&age=" + firstName,
              LastUrl());
}

TEST_F(ProbeLayersTest, ProbeOutsideTheViewOrHiddenViewAsksNothing)
{
    Open(Installed(310));
    CountingKest layer(&View(0));
    layer.PositionChanged(model->GetProbeLocation()); // no probe space yet
    View(0).SetVisible(false);
    Probe(0.5f, 0.5f, 0.5f);
    layer.PositionChanged(model->GetProbeLocation());
    EXPECT_TRUE(transport.requests.empty());
}

TEST_F(ProbeLayersTest, NewSeedAbortsTheRunningRequestAndAFailedStartLeavesNoPointer)
{
    Open(Installed(310));
    CountingKest layer(&View(0));
    Probe(0.5f, 0.5f, 0.5f);
    layer.PositionChanged(model->GetProbeLocation());
    ASSERT_TRUE(transport.IsOpen());
    transport.refuse = true;
    Probe(0.2f, 0.2f, 0.2f);
    EXPECT_EQ("Could not open connection.", ErrorOf([&] { layer.PositionChanged(model->GetProbeLocation()); }));
    EXPECT_FALSE(transport.IsOpen()) << "the first transfer is aborted";
    EXPECT_FALSE(layer.IsRequesting());
    EXPECT_EQ(6600u, layer.GetLastLocation()[0]) << "a request that did not start keeps the last seed";
    transport.refuse = false;
    // Under the address sanitizer a second abort of the deleted transfer would stop here.
    layer.PositionChanged(model->GetProbeLocation());
    EXPECT_EQ(2u, transport.requests.size());
    EXPECT_TRUE(transport.IsOpen());
}

// --- Correlation replies ---

class CorrelationZips : public ProbeLayersTest
{
protected:
    // Zips made by Python's zipfile for the view grid of atlas 310 (tiny: 67 × 41 × 58 floats).
    void MakeZips()
    {
        RunPython(R"(
import struct, sys, zipfile, zlib
folder = sys.argv[1]
count = 67 * 41 * 58
good = struct.pack("<%df" % count, *[(i % 97) / 96.0 for i in range(count)])
def write(name, entries, method=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(folder + "/" + name, "w", method) as z:
        for entry, data in entries:
            z.writestr(entry, data)
write("good.zip", [("readme.txt", b"first"), ("volume.raw.data", good)])
write("short.zip", [("correlation.raw", good[:-4])])
write("none.zip", [("correlation.bin", good)])
write("stored.zip", [("correlation.raw", good)], zipfile.ZIP_STORED)
data = bytearray(open(folder + "/stored.zip", "rb").read())
data[200] ^= 0xFF
open(folder + "/badcrc.zip", "wb").write(bytes(data))
open(folder + "/html.zip", "wb").write(b"<html><body>Not here</body></html>")
whole = open(folder + "/good.zip", "rb").read()
open(folder + "/truncated.zip", "wb").write(whole[:len(whole) // 2])
)",
                  dir.Path());
    }
    std::string Zip(const std::string& name)
    {
        const std::vector<unsigned char> bytes = ReadWholeFile(dir.File(name));
        return std::string(bytes.begin(), bytes.end());
    }
};

TEST_F(CorrelationZips, OnlyAWholeRawEntryOfTheGridSizeIsLoaded)
{
    Open(Installed(310));
    MakeZips();
    CountingKest layer(&View(0));
    const std::vector<float> before = layer.GetVolumeBuffer();
    for (const char* bad : {"short.zip", "none.zip", "badcrc.zip", "html.zip", "truncated.zip"})
    {
        const std::string bytes = Zip(bad);
        layer.DownloadComplete(bytes.data(), bytes.size());
        EXPECT_EQ(0, layer.loads) << bad;
        layer.loads = 0;
        EXPECT_EQ(before, layer.GetVolumeBuffer()) << bad;
    }
    const std::string good = Zip("good.zip");
    layer.DownloadComplete(good.data(), good.size());
    EXPECT_EQ(1, layer.loads);
    ASSERT_EQ(67u * 41u * 58u, layer.GetVolumeBuffer().size());
    EXPECT_FLOAT_EQ(1.0f, layer.GetVolumeBuffer()[96]);
    EXPECT_FLOAT_EQ(5.0f / 96.0f, layer.GetVolumeBuffer()[97 * 3 + 5]);
    // A bad reply after a good one keeps the good volume.
    const std::vector<float> loaded = layer.GetVolumeBuffer();
    const std::string crc = Zip("badcrc.zip");
    layer.DownloadComplete(crc.data(), crc.size());
    EXPECT_EQ(loaded, layer.GetVolumeBuffer());
    EXPECT_EQ(1, layer.loads);
}

TEST_F(CorrelationZips, RepliesThroughTheTransportAndFailures)
{
    Open(Installed(310));
    MakeZips();
    CountingKest layer(&View(0));
    Probe(0.5f, 0.5f, 0.5f);
    layer.PositionChanged(model->GetProbeLocation());
    Answer(404, "");
    EXPECT_FALSE(layer.IsRequesting());
    EXPECT_EQ(0, layer.loads);
    Probe(0.3f, 0.3f, 0.3f);
    layer.PositionChanged(model->GetProbeLocation());
    Answer(200, Zip("good.zip"));
    EXPECT_FALSE(layer.IsRequesting());
    EXPECT_EQ(1, layer.loads);
}

// --- Windows ---

TEST_F(ProbeLayersTest, TransferWindowMapsIntoTheCorrelationWindow)
{
    Open(Installed(310));
    CountingKest layer(&View(0));
    struct Case
    {
        float low, high;
        int in[4];
        int out[4];
    };
    const Case cases[] = {
        {0.0f, 1.0f, {0, 255, 0, 255}, {0, 255, 0, 255}},
        {0.0f, 1.0f, {25, 250, 10, 200}, {25, 250, 10, 200}},
        {0.2f, 0.9f, {0, 255, 0, 255}, {51, 229, 0, 255}},
        {0.2f, 0.9f, {0, 128, 3, 4}, {51, 140, 3, 4}},
    };
    for (const Case& c : cases)
    {
        layer.SetWindow(c.low, c.high);
        layer.SetTransferFunction(c.in[0], c.in[1], c.in[2], c.in[3]);
        int windows[4] = {0, 0, 0, 0};
        layer.GetVolumeRenderer()->GetTransferWindows(windows);
        for (int i = 0; i < 4; ++i)
        {
            EXPECT_EQ(c.out[i], windows[i]) << c.low << " " << c.in[i];
        }
    }
}

TEST(KestWindowLevels, TableCellsAndIndicesOutsideIt)
{
    struct Case
    {
        int probe, view;
        bool found;
        double low, high;
    };
    const Case cases[] = {
        {0, 0, true, 0.245418, 1.0},
        {0, 5, true, 0.117514, 0.46323},
        {3, 4, true, 0.538696, 0.839845},
        {7, 7, true, 0.681426, 1.0},
        {6, 0, true, 0.17849, 0.477175},
        {8, 0, false, 0, 0},
        {0, 8, false, 0, 0},
        {-1, 0, false, 0, 0},
    };
    for (const Case& c : cases)
    {
        double low = -5.0;
        double high = -5.0;
        EXPECT_EQ(c.found, KestRenderer::WindowLevelRange(c.probe, c.view, low, high)) << c.probe << "," << c.view;
        if (c.found)
        {
            EXPECT_DOUBLE_EQ(c.low, low);
            EXPECT_DOUBLE_EQ(c.high, high);
        }
        else
        {
            EXPECT_EQ(-5.0, low);
        }
    }
}

TEST_F(CorrelationZips, DevelopingAtlasScalesTheWindowOfItsSpaces)
{
    Open(Installed(350));
    CountingKest layer(&View(0));
    Probe(0.5f, 0.5f, 0.5f, 0);
    // A reply on the first space's grid.
    const unsigned int* d = Space(0)->GetViewDimensions();
    RunPython("import struct, sys, zipfile\ncount = " + std::to_string(d[0] * d[1] * d[2]) +
                  "\nzipfile.ZipFile(sys.argv[1] + '/c.zip', 'w').writestr('c.raw', b'\\0' * 4 * count)\n",
              dir.Path());
    const std::string zip = Zip("c.zip");
    layer.DownloadComplete(zip.data(), zip.size());
    EXPECT_EQ(1, layer.loads);
    EXPECT_FLOAT_EQ(0.2208762f, layer.GetCorrelationLow());
    EXPECT_FLOAT_EQ(1.0f, layer.GetCorrelationHigh());
}

// --- The rat atlas ---

TEST_F(ProbeLayersTest, RatLayerLibraryErrors)
{
    Open(scenetest::MicroAtlas(50000));
    ASSERT_TRUE(std::dynamic_pointer_cast<WaxholmKestRenderer>(View(0).GetCorrelationLayer()))
        << "the program data folder holds the library";
    struct Case
    {
        std::string library;
        bool removeMeta;
        const char* message;
    };
    const Case cases[] = {
        {dir.File("no-such-library.so"), false, "Transform library not available."},
        {CORVANE_STUB_TRANSFORM, false, "Transform library functions not available."},
        {"", true, "Could not create image resampler."},
    };
    const std::string meta = Space()->GetPath() + "/Transforms/AffineTransform.meta";
    const std::string saved = meta + ".saved";
    for (const Case& c : cases)
    {
        if (c.removeMeta)
            std::filesystem::rename(meta, saved);
        EXPECT_EQ(c.message, ErrorOf([&] { WaxholmKestRenderer layer(&View(0), Space(), c.library); }));
        if (c.removeMeta)
            std::filesystem::rename(saved, meta);
    }
}

TEST_F(ProbeLayersTest, RatLayerRequestsThroughTheMappingAndResamples)
{
    Open(scenetest::MicroAtlas(50000));
    WaxholmKestRenderer layer(&View(0), Space());
    const unsigned int* d = Space()->GetViewDimensions();
    // A voxel inside the brain: the mapping gives its correlation-grid coordinates.
    Probe(0.5f, 0.5f, 0.5f);
    int a = 0, b = 0, c = 0;
    ASSERT_TRUE(Space()->KestCoordinates(d[0] * 0.5f, d[1] * 0.5f, d[2] * 0.5f, a, b, c));
    layer.PositionChanged(model->GetProbeLocation());
    ASSERT_EQ(1u, transport.requests.size());
    EXPECT_EQ(model->GetAtlas()->GetHostUrl("") + "/kest/data/P56/download?seed=" + std::to_string(a) + "," +
                  std::to_string(b) + "," + std::to_string(c) + "&age=P56",
              LastUrl());
    // A reply of ones on the 67 × 41 × 58 grid: the resampled grid is one inside, 0 beyond.
    RunPython("import struct, sys, zipfile\nc = 67 * 41 * 58\n"
              "zipfile.ZipFile(sys.argv[1] + '/r.zip', 'w').writestr('r.raw', struct.pack('<%df' % c, *[1.0] * c))\n",
              dir.Path());
    const std::vector<unsigned char> zip = ReadWholeFile(dir.File("r.zip"));
    Answer(200, std::string(zip.begin(), zip.end()));
    const std::vector<float>& out = layer.GetResampledBuffer();
    ASSERT_EQ(56u * 111u * 56u, out.size());
    const std::size_t centre = (28u * 111u + 55u) * 56u + 28u;
    EXPECT_NEAR(1.0f, out[centre], 1e-5f);
    EXPECT_NEAR(1.0f, out[0], 1e-5f) << "the chain maps corner to corner";
}

// --- Tract volumes ---

class TractLayer : public ProbeLayersTest
{
protected:
    // The probe position of a tract voxel's centre.
    void ProbeVoxel(unsigned int x, unsigned int y, unsigned int z)
    {
        Probe((x + 0.5f) / 128.0f, (y + 0.5f) / 128.0f, (z + 0.5f) / 68.0f);
    }
};

TEST_F(TractLayer, SeedWithAFileLoadsNibabelsCountsUnderTheLogRule)
{
    Open(scenetest::MicroAtlas(35100));
    CountingTracts layer(&View(0));
    const std::string file = layer.TractFile(48, 48, 25);
    ASSERT_TRUE(OSUtils::FileExists(file.c_str())) << file;
    RunPython("import sys, numpy, nibabel\n"
              "counts = numpy.asarray(nibabel.load('" +
                  file +
                  "').dataobj).astype(numpy.float64)\n"
                  "logs = numpy.where(counts > 0, numpy.log2(numpy.maximum(counts, 1)), 0.0)\n"
                  "logs = logs / (0.75 * logs.max())\n"
                  "logs.astype('<f4').ravel(order='F').tofile(sys.argv[1] + '/expected.raw')\n",
              dir.Path());
    const std::vector<float> expected = ReadFloats(dir.File("expected.raw"));
    ProbeVoxel(48, 48, 25);
    layer.PositionChanged(model->GetProbeLocation());
    EXPECT_EQ(1, layer.loads);
    ASSERT_EQ(expected.size(), layer.GetVolumeBuffer().size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_NEAR(expected[i], layer.GetVolumeBuffer()[i], 1e-6f) << i;
    EXPECT_EQ(48000u, layer.GetLastLocation()[0]);
}

TEST_F(TractLayer, SeedsWithoutAReadableFileChangeNothing)
{
    Open(scenetest::MicroAtlas(35100));
    CountingTracts layer(&View(0));
    ProbeVoxel(48, 48, 25);
    layer.PositionChanged(model->GetProbeLocation());
    ASSERT_EQ(1, layer.loads);
    const std::vector<float> loaded = layer.GetVolumeBuffer();

    // A repeated seed reads nothing, even when its file has gone bad meanwhile.
    const std::string file = layer.TractFile(48, 48, 25);
    const std::vector<unsigned char> original = ReadWholeFile(file);
    const ScopeExit restore([&] { WriteWholeFile(file, original.data(), original.size()); });
    WriteWholeFile(file, std::string("garbage"));
    layer.PositionChanged(model->GetProbeLocation());
    EXPECT_EQ(1, layer.loads);

    // A seed without a file.
    ProbeVoxel(10, 10, 10);
    layer.PositionChanged(model->GetProbeLocation());
    EXPECT_EQ(1, layer.loads);
    EXPECT_EQ(48000u, layer.GetLastLocation()[0]);

    // A file of other dimensions, a truncated file, a file that is no NIfTI.
    const std::string other = layer.TractFile(80, 48, 25);
    const std::vector<unsigned char> otherOriginal = ReadWholeFile(other);
    const ScopeExit restoreOther([&] { WriteWholeFile(other, otherOriginal.data(), otherOriginal.size()); });
    RunPython("import sys, numpy, nibabel\n"
              "nibabel.save(nibabel.Nifti1Image(numpy.ones((64, 128, 68), dtype=numpy.uint64), numpy.eye(4), "
              "dtype=numpy.uint64), '" +
                  other + "')\n",
              dir.Path());
    const std::vector<unsigned char> small = ReadWholeFile(other);
    struct Case
    {
        const char* what;
        std::vector<unsigned char> bytes;
    };
    const Case cases[] = {
        {"other dimensions", small},
        {"truncated",
         std::vector<unsigned char>(otherOriginal.begin(), otherOriginal.begin() + otherOriginal.size() / 3)},
        {"not nifti", std::vector<unsigned char>(400, 7)},
    };
    for (const Case& c : cases)
    {
        WriteWholeFile(other, c.bytes.data(), c.bytes.size());
        ProbeVoxel(80, 48, 25);
        layer.PositionChanged(model->GetProbeLocation());
        EXPECT_EQ(1, layer.loads) << c.what;
        EXPECT_EQ(loaded, layer.GetVolumeBuffer()) << c.what;
        EXPECT_EQ(48000u, layer.GetLastLocation()[0]) << c.what;
    }
}

// --- Probe moves through the scene ---

// The model's probe notifications reach each layer of the scene only while its structure is selected.
TEST_F(ProbeLayersTest, SceneHandsProbeMovesToTheLayersOfTheSelectedStructures)
{
    Open(Installed(310));
    const AnnotationLabel* correlation = Ontology().GetAnnotationLabelByDatabaseId(9999);
    const AnnotationLabel* projection = Ontology().GetAnnotationLabelByDatabaseId(10001);
    ASSERT_TRUE(correlation && projection);
    struct Case
    {
        bool correlation, projection;
    };
    const Case cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    float x = 0.2f;
    for (const Case& c : cases)
    {
        BrainExpressionModel::Selector selector(Ontology().GetNumLabels(), false);
        if (c.correlation)
            selector.Set(correlation->selector, true);
        if (c.projection)
            selector.Set(projection->selector, true);
        model->SetStructureSelector(selector, false);
        transport.requests.clear();
        const float location[3] = {x, 0.5f, 0.5f};
        x += 0.15f;
        model->SetProbeLocation(location, Space(), true);
        int kest = 0, maps = 0;
        for (const auto& request : transport.requests)
        {
            kest += request.url.find("/kest/data/") != std::string::npos;
            maps += request.url.find("/projection_map/") != std::string::npos;
        }
        EXPECT_EQ(c.correlation ? 1 : 0, kest) << c.correlation << c.projection;
        EXPECT_EQ(c.projection ? 1 : 0, maps) << c.correlation << c.projection;
    }
}

TEST_F(TractLayer, SceneHandsProbeMovesToTheTractLayer)
{
    Open(scenetest::MicroAtlas(35100));
    auto* layer = dynamic_cast<ProbTrackRenderer*>(View(0).GetCorrelationLayer().get());
    ASSERT_TRUE(layer);
    const AnnotationLabel* tracts = Ontology().GetAnnotationLabelByDatabaseId(9999);
    ASSERT_TRUE(tracts);
    const std::vector<float> empty = layer->GetVolumeBuffer();
    ProbeVoxel(48, 48, 25);
    model->SetProbeLocation(model->GetProbeLocation(), Space(), true);
    EXPECT_EQ(empty, layer->GetVolumeBuffer()) << "the structure is not selected";
    model->SetStructureSelector(tracts->selector, false);
    model->SetProbeLocation(model->GetProbeLocation(), Space(), true);
    EXPECT_NE(empty, layer->GetVolumeBuffer());
    EXPECT_EQ(48000u, layer->GetLastLocation()[0]);
    EXPECT_EQ(25000u, layer->GetLastLocation()[2]);
}

// --- Projection maps ---

class ProjectionLayer : public ProbeLayersTest
{
protected:
    ProjectionMapRenderer& Layer()
    {
        if (!m_layer)
            m_layer = std::make_unique<ProjectionMapRenderer>(&View(0));
        return *m_layer;
    }
    void TearDown() override
    {
        m_layer.reset();
        ProbeLayersTest::TearDown();
    }
    std::unique_ptr<ProjectionMapRenderer> m_layer;
};

TEST_F(ProjectionLayer, ReplyEdgeCases)
{
    Open(Installed(310));
    const float r = Space()->GetViewResolution()[0];
    struct Case
    {
        const char* what;
        std::string json;
        bool fails;
        std::vector<unsigned int> ids;
        std::vector<float> densities;
        std::vector<std::size_t> points;
    };
    const Case cases[] = {
        {"two lines",
         R"({"msg":[{"id":5,"density":0.5,"path":[{"coord":[200,400,600]},{"coord":[400,400,600]}]},
                         {"id":"6","density":0.01,"path":[{"coord":[0,0,0]}]}]})",
         false,
         {5, 6},
         {0.5f, 0.01f},
         {2, 1}},
        {"four coords leave the origin",
         R"({"msg":[{"id":1,"path":[{"coord":[200,400,600,800]}]}]})",
         false,
         {1},
         {0.0f},
         {1}},
        {"five coords fail", R"({"msg":[{"id":1,"path":[{"coord":[1,2,3,4,5]}]}]})", true, {}, {}, {}},
        {"a record without points is reused",
         R"({"msg":[{"id":7,"density":0.3},{"path":[{"coord":[1,1,1]}]}]})",
         false,
         {7},
         {0.3f},
         {1}},
        {"the reused record takes its own id",
         R"({"msg":[{"id":7,"density":0.3},{"id":8,"path":[{"coord":[1,1,1]}]}]})",
         false,
         {8},
         {0.3f},
         {1}},
        {"a last record without points is removed",
         R"({"msg":[{"id":3,"path":[{"coord":[1,1,1]}]},{"id":4}]})",
         false,
         {3},
         {0.0f},
         {1}},
        {"id and density inside injection-structures",
         R"({"msg":[{"id":9,"density":0.2,"injection-structures":[{"id":77,"density":0.6}],"path":[{"coord":[1,1,1]}]}]})",
         false,
         {9},
         {0.6f},
         {1}},
        {"a bad id fails", R"({"msg":[{"id":"x12","path":[{"coord":[1,1,1]}]}]})", true, {}, {}, {}},
        {"syntax error", R"({"msg":[{"id":1,)", true, {}, {}, {}},
        {"values before any line are ignored", R"({"id":4,"density":0.9,"msg":[]})", false, {}, {}, {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        bool failed = false;
        try
        {
            Layer().LoadData(c.json.data(), static_cast<unsigned int>(c.json.size()));
        }
        catch (const std::exception&)
        {
            failed = true;
        }
        EXPECT_EQ(c.fails, failed);
        const auto& lines = Layer().GetLines();
        ASSERT_EQ(c.ids.size(), lines.size());
        for (std::size_t i = 0; i < lines.size(); ++i)
        {
            EXPECT_EQ(c.ids[i], lines[i].id);
            EXPECT_FLOAT_EQ(c.densities[i], lines[i].density);
            EXPECT_EQ(c.points[i], lines[i].points.size());
            EXPECT_FLOAT_EQ(1.0f, lines[i].points.back().density);
            EXPECT_FLOAT_EQ(10000.0f, lines[i].points.back().intensity);
            EXPECT_NE(nullptr, lines[i].structure);
        }
    }
    // Positions: micrometres over the grid resolution; four coordinates leave the reset origin; the other
    // points keep the reset density and intensity.
    const std::string json = R"({"msg":[{"id":1,"path":[{"coord":[200,400,600],"density":0.25},{"coord":[1,2,3,4]},
                              {"coord":[0,0,0]}]}]})";
    Layer().LoadData(json.data(), static_cast<unsigned int>(json.size()));
    const auto& points = Layer().GetLines().at(0).points;
    EXPECT_FLOAT_EQ(200.0f / r, points[0].position[0]);
    EXPECT_FLOAT_EQ(600.0f / r, points[0].position[2]);
    EXPECT_FLOAT_EQ(0.25f, points[0].density);
    EXPECT_FLOAT_EQ(0.0f, points[1].position[0]);
    EXPECT_FLOAT_EQ(1.0f, points[1].density);
    EXPECT_FLOAT_EQ(1000.0f, points[1].intensity);
}

TEST_F(ProjectionLayer, EndStructureAndItsColour)
{
    Open(Installed(310));
    const BrainOntology& ontology = Ontology();
    // A point outside the brain has annotation 0, which maps to the first structure.
    const std::string json = R"({"msg":[{"id":1,"path":[{"coord":[0,0,0]},{"coord":[100,100,100]}]}]})";
    Layer().LoadData(json.data(), static_cast<unsigned int>(json.size()));
    EXPECT_EQ(ontology.GetAnnotationLabelByIndex(0), Layer().GetLines().at(0).structure);
    // The middle of the brain lies in a real structure.
    const unsigned int* d = Space()->GetViewDimensions();
    const float* r = Space()->GetViewResolution();
    const int mid[3] = {static_cast<int>(d[0] * r[0] / 2), static_cast<int>(d[1] * r[1] / 2),
                        static_cast<int>(d[2] * r[2] / 2)};
    const std::string inside = "{\"msg\":[{\"id\":1,\"path\":[{\"coord\":[0,0,0]},{\"coord\":[" +
                               std::to_string(mid[0]) + "," + std::to_string(mid[1]) + "," + std::to_string(mid[2]) +
                               "]}]}]}";
    Layer().LoadData(inside.data(), static_cast<unsigned int>(inside.size()));
    const float* end = Layer().GetLines().at(0).points.back().position;
    const auto value = static_cast<unsigned short>(
        static_cast<int>(Space()->GetAnnotationImage()->GetValue(end[0] * r[0], end[1] * r[1], end[2] * r[2])));
    EXPECT_NE(0, value);
    EXPECT_EQ(ontology.GetAnnotationLabel(value), Layer().GetLines().at(0).structure);
}

TEST(ProjectionBalls, SizeFollowsDensityBetweenBounds)
{
    const std::pair<float, float> cases[] = {{0.0f, 0.15f}, {0.01f, 0.15f}, {0.05f, 0.5f}, {0.08f, 0.8f}, {1.0f, 0.8f}};
    for (const auto& c : cases)
        EXPECT_FLOAT_EQ(c.second, ProjectionMapRenderer::BallSize(c.first)) << c.first;
}

TEST_F(ProjectionLayer, HitTestTakesTheNearestBallAndTheFirstOnTies)
{
    Open(Installed(310));
    const float r = Space()->GetViewResolution()[0];
    auto coord = [&](float x, float y, float z) {
        return "{\"coord\":[" + std::to_string(static_cast<int>(x * r)) + "," +
               std::to_string(static_cast<int>(y * r)) + "," + std::to_string(static_cast<int>(z * r)) + "]}";
    };
    // Ends at x = 10 (ids 1 and 2, tied), x = 20 (id 3) and one 0.8 off the ray (id 4).
    const std::string json = "{\"msg\":[{\"id\":1,\"path\":[" + coord(0, 0, 0) + "," + coord(10, 5, 5) +
                             "]},{\"id\":2,\"path\":[" + coord(1, 0, 0) + "," + coord(10, 5, 5) +
                             "]},{\"id\":3,\"path\":[" + coord(0, 0, 0) + "," + coord(20, 5, 5) +
                             "]},{\"id\":4,\"path\":[" + coord(0, 0, 0) + "," + coord(5, 5, 5.8f) + "]}]}";
    Layer().LoadData(json.data(), static_cast<unsigned int>(json.size()));
    ASSERT_EQ(4u, Layer().GetLines().size());
    struct Case
    {
        float origin[3], direction[3];
        int id; // 0: none
        float distance;
    };
    const Case cases[] = {
        {{0, 5, 5}, {1, 0, 0}, 1, 10.0f - 0.75f}, {{30, 5, 5}, {-1, 0, 0}, 3, 10.0f - 0.75f},
        {{0, 5.7f, 5}, {1, 0, 0}, 1, 0.0f}, // 0.7 off the ray: still a hit
        {{0, 5.8f, 5}, {1, 0, 0}, 0, 0.0f}, // 0.8 off: missed
        {{5, 0, 5}, {0, 1, 0}, 0, 0.0f},    // id 4 lies 0.8 beside this ray
    };
    for (const Case& c : cases)
    {
        const ProjectionMapRenderer::InjectionStreamLine* line = nullptr;
        const float d = Layer().HitTest(c.origin, c.direction, line);
        if (c.id == 0)
        {
            EXPECT_EQ(nullptr, line);
            EXPECT_EQ(std::numeric_limits<float>::max(), d);
            continue;
        }
        ASSERT_NE(nullptr, line);
        EXPECT_EQ(static_cast<unsigned int>(c.id), line->id);
        if (c.distance > 0.0f)
        {
            EXPECT_NEAR(c.distance, d, 1e-4f);
        }
    }
}

TEST_F(ProjectionLayer, RequestsOnTheConnectivityHostAndReplies)
{
    Open(Installed(310));
    Probe(0.5f, 0.5f, 0.5f);
    Layer().PositionChanged(model->GetProbeLocation());
    ASSERT_EQ(1u, transport.requests.size());
    // ⌊67 × 0.5 + 0.5⌋ = 34 → 6800, ⌊41 × 0.5 + 0.5⌋ = 21 → 4200, ⌊58 × 0.5 + 0.5⌋ = 29 → 5800
    EXPECT_EQ(Installed(310)->GetHostUrl("0378") +
                  "/data/P56/projection_map/target?seedPoint=6800,4200,5800&seedAge=P56",
              LastUrl());
    Layer().PositionChanged(model->GetProbeLocation());
    EXPECT_EQ(1u, transport.requests.size());
    Answer(200, R"({"msg":[{"id":12,"density":0.04,"path":[{"coord":[200,400,600]},{"coord":[400,400,600]}]}]})");
    ASSERT_EQ(1u, Layer().GetLines().size());
    Probe(0.3f, 0.5f, 0.5f);
    Layer().PositionChanged(model->GetProbeLocation());
    Answer(200, "{\"msg\":[{\"id\":1,");
    EXPECT_TRUE(Layer().GetLines().empty()) << "a malformed reply empties the list";
    Probe(0.3f, 0.2f, 0.5f);
    Layer().PositionChanged(model->GetProbeLocation());
    Answer(500, "");
    EXPECT_TRUE(Layer().GetLines().empty());
    transport.refuse = true;
    Probe(0.7f, 0.2f, 0.5f);
    Layer().PositionChanged(model->GetProbeLocation());
    transport.refuse = false;
    Layer().PositionChanged(model->GetProbeLocation());
    EXPECT_EQ(4u, transport.requests.size()) << "a start that failed is retried at the same place";
}

// --- Afferent files ---

TEST_F(ProjectionLayer, GeneratedAfferentFilesReadAsPythonSeesThem)
{
    Open(Installed(310));
    Layer();
    EXPECT_TRUE(Layer().GetAfferentLoaded());
    const std::string folder = Space()->GetPath() + "/Afferents";
    RunPython("import os, struct, sys\n"
              "out = open(sys.argv[1] + '/sites.txt', 'w')\n"
              "for name in sorted(os.listdir('" +
                  folder +
                  "'))[:6]:\n"
                  "    data = open(os.path.join('" +
                  folder +
                  "', name), 'rb').read()\n"
                  "    (sites,) = struct.unpack_from('<I', data); pos = 4; counts = []\n"
                  "    for s in range(sites):\n"
                  "        a, b, n = struct.unpack_from('<III', data, pos); pos += 12; pts = []\n"
                  "        for l in range(n):\n"
                  "            i, d, p = struct.unpack_from('<IfI', data, pos); pos += 12 + 20 * p; pts.append(p)\n"
                  "        counts.append('%d:%d:%s' % (a, b, '/'.join(map(str, pts))))\n"
                  "    out.write(name + ' ' + ' '.join(counts) + '\\n')\n",
              dir.Path());
    const std::vector<unsigned char> text = ReadWholeFile(dir.File("sites.txt"));
    std::istringstream lines(std::string(text.begin(), text.end()));
    int files = 0;
    for (std::string line; std::getline(lines, line); ++files)
    {
        std::istringstream fields(line);
        std::string name;
        fields >> name;
        Layer().SetAfferentSeedExperiment(StringUtils::ParseUint(name));
        std::string seen;
        for (const ProjectionMapRenderer::InjectionSite& site : Layer().GetSites())
        {
            seen +=
                (seen.empty() ? "" : " ") + std::to_string(site.values[0]) + ":" + std::to_string(site.values[1]) + ":";
            for (std::size_t l = 0; l < site.lines.size(); ++l)
                seen += (l ? "/" : "") + std::to_string(site.lines[l].points.size());
        }
        EXPECT_EQ(line.substr(name.size() + 1), seen) << name;
    }
    EXPECT_EQ(6, files);
}

TEST_F(ProjectionLayer, DamagedAfferentFilesFailAsTheStreamDoes)
{
    Open(Installed(310));
    const std::string file = Layer().AfferentFile(ProjectionMapRenderer::DEFAULT_AFFERENT_EXPERIMENT);
    const std::vector<unsigned char> original = ReadWholeFile(file);
    const std::size_t sites = Layer().GetSites().size();
    ASSERT_GT(sites, 0u);
    const std::string path = Layer().AfferentFile(4242);
    auto withCount = [&](std::size_t at, std::uint32_t count) {
        std::vector<unsigned char> bytes = original;
        std::memcpy(&bytes[at], &count, 4);
        return bytes;
    };
    struct Case
    {
        const char* what;
        std::vector<unsigned char> bytes;
    };
    const Case cases[] = {
        {"truncated", std::vector<unsigned char>(original.begin(), original.end() - 7)},
        {"empty", std::vector<unsigned char>(1, 0)},
        {"oversized site count", withCount(0, 0x7FFFFFFF)},
        {"oversized line count", withCount(12, 0xFFFFFFFF)},
        {"oversized point count", withCount(24, 0x10000000)},
    };
    for (const Case& c : cases)
    {
        WriteWholeFile(path, c.bytes.data(), c.bytes.size());
        EXPECT_EQ("Error while reading file.", ErrorOf([&] { Layer().SetAfferentSeedExperiment(4242); })) << c.what;
    }
    std::filesystem::remove(path);
    Layer().SetAfferentSeedExperiment(ProjectionMapRenderer::DEFAULT_AFFERENT_EXPERIMENT);
    const std::size_t before = Layer().GetSites().size();
    Layer().SetAfferentSeedExperiment(4242); // no such file: nothing changes
    EXPECT_EQ(before, Layer().GetSites().size());
}

} // namespace

namespace
{

// What the user sees: the correlation layer drawn by the scene view's camera into a framebuffer, before
// and after a reply, and after a bad reply.
class CorrelationPixels : public CorrelationZips
{
protected:
    static constexpr int kSide = 256;

    void SetUp() override
    {
        CorrelationZips::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        MakeScene(Installed(310), kSide, kSide);
        screen = std::make_unique<GLTestFramebuffer>(kSide, kSide);
        screen->Bind();
        display->SetDefaultFramebuffer(screen->GetName());
        for (int plane = 0; plane < 3; ++plane)
            model->SetMPRPlaneVisible(Image3dPlane::Plane(plane), false, false);
        model->SetStructureSelector(BrainExpressionModel::Selector(Ontology().GetNumLabels(), false), false);
        model->SetZoom(50.0f, false);
    }
    void TearDown() override
    {
        screen.reset();
        Framebuffer().Bind();
        CorrelationZips::TearDown();
    }

    // The number of pixels the layer lights on a cleared screen.
    int LitPixels(KestRenderer& layer)
    {
        BrainSceneView& view = View(0);
        view.SetupViewPort();
        view.DoViewTransforms();
        glEnable(GL_DEPTH_TEST);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        layer.Display();
        const std::vector<std::uint8_t> pixels = screen->ReadPixels();
        int lit = 0;
        for (std::size_t i = 0; i < pixels.size(); i += 4)
            lit += pixels[i] + pixels[i + 1] + pixels[i + 2] > 30;
        return lit;
    }

    std::unique_ptr<GLTestFramebuffer> screen;
};

TEST_F(CorrelationPixels, GoodReplyShowsAndBadRepliesKeepIt)
{
    MakeZips();
    CountingKest layer(&View(0));
    EXPECT_EQ(0, LitPixels(layer)) << "nothing before a reply";
    const std::string good = Zip("good.zip");
    layer.DownloadComplete(good.data(), good.size());
    const int lit = LitPixels(layer);
    EXPECT_GT(lit, kSide * kSide / 20) << "the volume covers part of the view";
    for (const char* bad : {"badcrc.zip", "none.zip", "html.zip"})
    {
        const std::string bytes = Zip(bad);
        layer.DownloadComplete(bytes.data(), bytes.size());
        EXPECT_EQ(lit, LitPixels(layer)) << bad;
    }
}

} // namespace
