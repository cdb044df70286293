// The layers that follow the probe as users see them: a real GL view on the X server, the probe moved
// through the model's notifications and by clicks (so that the picking code's probe updates reach the
// layers), requests answered by the demo server through the Qt transport and checked in its request log,
// the frame captured. Faults are armed in the server for the next correlation request.

#include "SceneSupport.h"

#include "RecordingHooks.h"
#include "TestSupport.h"
#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSet.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "core/MemoryStreamRef.h"
#include "core/ZipReader.h"
#include "expression/BrainExpressionModel.h"
#include "expression/DemoServerSession.h"
#include "expression/SearchController.h"
#include "gl/support/GLTestWindow.h"
#include "platform/EventLoopSupport.h"
#include "scene/BrainSceneRenderer.h"
#include "scene/BrainSceneView.h"
#include "scene/KestRenderer.h"
#include "scene/ProjectionMapRenderer.h"
#include "scene/VolumeRenderer.h"
#include "scene/WaxholmKestRenderer.h"

#include <QImage>
#include <QOpenGLContext>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace
{

using scenetest::Download;

constexpr int kSize = 400;
constexpr int kTimeoutMs = 60000;

// The scene's requests for data sets, kept as the document would receive them.
class FetchLog : public SearchController
{
public:
    void SearchForGene(const char*, const char*, const char*, bool) override {}
    void SearchForGeneById(const char*, const char*, int) override {}
    void SearchForSimilarGenes(const char*, const char*, int) override {}
    void FetchExpressionData(const char* url, const float*) override { urls.push_back(url); }
    void FetchMicroarrayData(const char*, unsigned int, unsigned int, unsigned int) override {}
    int GetNumQueuedExpressionDownloads() override { return 0; }
    std::vector<std::string> urls;
};

// The floats of the one entry of a correlation zip.
std::vector<float> CorrelationGrid(const std::string& zip)
{
    MemoryStreamRef stream(zip.data(), static_cast<unsigned int>(zip.size()));
    ZipReader reader(&stream);
    const ZipReader::ZipItem& item = reader.GetDirectory().at(0);
    std::vector<float> values(item.uncompressedSize / 4);
    reader.Read(&item, reinterpret_cast<unsigned char*>(values.data()));
    return values;
}

int DifferentPixels(const QImage& a, const QImage& b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}

class ProbeLayersServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string reason;
        session.store.SetValue("VolumeRenderingActive", "true");
        if (!session.Start(reason))
            GTEST_SKIP() << reason;
        server = session.server;
    }

    void TearDown() override
    {
        window.Detach();
        renderer.reset();
        model.reset();
        window.Close();
        if (session.transport)
            Arm("none");
        session.Stop();
    }

    // A window on the atlas with only the pseudo-structure of one layer switched on.
    void Open(std::shared_ptr<Atlas> atlas, unsigned long layerStructure)
    {
        ASSERT_TRUE(atlas);
        model = std::make_unique<BrainExpressionModel>(atlas);
        model->SetCompassLocation(BrainExpressionModel::COMPASS_HIDDEN, false);
        model->SetToolMode(BrainExpressionModel::PICK_TOOL);
        for (int plane = 0; plane < 3; ++plane)
            model->SetMPRPlaneVisible(Image3dPlane::Plane(plane), false, false);
        const AnnotationLabel* label = atlas->GetOntology()->GetAnnotationLabelByDatabaseId(layerStructure);
        ASSERT_TRUE(label);
        model->SetStructureSelector(label->selector, false);
        ASSERT_TRUE(window.Open(kSize, kSize));
        renderer = std::make_unique<BrainSceneRenderer>(window.wrapper.get(), model.get(), nullptr, &fetches);
        window.Attach(*renderer);
        RunEventsFor(100);
        logStart = server->Log().size();
    }

    BrainSceneView& View(int index = 0) { return *renderer->GetViews().at(index); }
    AtlasSpace* Space(int index = 0) { return model->GetAtlas()->GetSpace(static_cast<unsigned int>(index)); }
    KestRenderer& Layer(int index = 0) { return *View(index).GetCorrelationLayer(); }

    // Moves the probe as the picking code does: the model tells the scene, which tells its layers.
    void Probe(const std::array<float, 3>& at, int space = 0)
    {
        window.wrapper->MakeCurrent();
        model->SetProbeLocation(at.data(), Space(space), true);
    }

    // Only the requests since the scene opened count: one server serves the whole test program.
    std::vector<std::string> Requests(const std::string& piece) const
    {
        std::vector<std::string> urls;
        const std::vector<LoggedRequest> log = server->Log();
        for (std::size_t i = logStart; i < log.size(); ++i)
            if (log[i].path.find(piece) != std::string::npos)
                urls.push_back(log[i].path + "?" + log[i].query);
        return urls;
    }

    // Waits until every layer of the scene has its answer.
    bool WaitIdle()
    {
        return RunEventsUntil(
            [&] {
                for (const auto& v : renderer->GetViews())
                    if ((v->GetCorrelationLayer() && v->GetCorrelationLayer()->IsRequesting()) ||
                        (v->GetProjectionLayer() && v->GetProjectionLayer()->IsRequesting()))
                        return false;
                return true;
            },
            kTimeoutMs);
    }

    // Arms a fault of the demo server for the next correlation request.
    void Arm(const std::string& kind)
    {
        Download arm(server->Base() + "/demo/fault?kind=" + kind + "&path=/kest/data/");
        ASSERT_TRUE(RunEventsUntil([&] { return arm.done; }, kTimeoutMs));
        ASSERT_TRUE(arm.error.empty()) << arm.error;
    }

    std::string Fetch(const std::string& url)
    {
        Download download(url);
        EXPECT_TRUE(RunEventsUntil([&] { return download.done; }, kTimeoutMs));
        EXPECT_TRUE(download.error.empty()) << download.error;
        return download.bytes;
    }

    QImage Capture() { return window.Capture().convertToFormat(QImage::Format_RGB32); }

    // The seed the correlation layer asks for, per axis ⌊⌊size × p⌋ × resolution⌋ of the probe space.
    std::string Seed(const std::array<float, 3>& at, int space = 0)
    {
        const unsigned int* d = Space(space)->GetViewDimensions();
        const float* r = Space(space)->GetViewResolution();
        std::string seed;
        for (int a = 0; a < 3; ++a)
        {
            const auto voxel = static_cast<unsigned int>(static_cast<float>(d[a]) * at[a]);
            seed += (a ? "," : "") + std::to_string(static_cast<unsigned int>(static_cast<float>(voxel) * r[a]));
        }
        return seed;
    }

    DemoServerSession session;
    DemoServer* server = nullptr;
    std::size_t logStart = 0;
    RecordingAlerts alerts;
    FetchLog fetches;
    std::unique_ptr<BrainExpressionModel> model;
    GLTestWindow window;
    std::unique_ptr<BrainSceneRenderer> renderer;
};

const char kKest[] = "/kest/data/";

// --- Correlation volumes of the adult atlas ---

TEST_F(ProbeLayersServerTest, CorrelationRequestsFollowTheProbeVoxel)
{
    Open(AtlasSet::GetAtlasWithId(310), BrainSceneView::CORRELATION_STRUCTURE_ID);
    const unsigned int* d = Space()->GetViewDimensions();
    ASSERT_EQ(67u, d[0]);
    ASSERT_FLOAT_EQ(200.0f, Space()->GetViewResolution()[0]);
    const std::string host = model->GetAtlas()->GetHostUrl("");
    ASSERT_EQ(server->Base(), host);
    struct Step
    {
        std::array<float, 3> probe;
        bool asks;
    };
    const Step steps[] = {
        {{0.5f, 0.5f, 0.5f}, true},  {{0.505f, 0.51f, 0.505f}, false}, // the same voxel
        {{0.25f, 0.6f, 0.3f}, true}, {{0.5f, 0.5f, 0.5f}, true},       // back to the previous voxel after another
        {{0.5f, 0.5f, 0.5f}, false}, {{0.999f, 0.01f, 0.74f}, true},
    };
    std::vector<std::string> expected;
    for (const Step& step : steps)
    {
        Probe(step.probe);
        ASSERT_TRUE(WaitIdle());
        if (step.asks)
            expected.push_back("/kest/data/P56/download?seed=" + Seed(step.probe) + "&age=P56");
        EXPECT_EQ(expected, Requests(kKest)) << step.probe[0];
    }
    EXPECT_EQ("/kest/data/P56/download?seed=6600,4000,5800&age=P56", expected.at(0));
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(ProbeLayersServerTest, GoodRepliesShowFaultsKeepTheVolumeAndNothingIsSaid)
{
    Open(AtlasSet::GetAtlasWithId(310), BrainSceneView::CORRELATION_STRUCTURE_ID);
    const std::array<float, 3> home = {0.5f, 0.5f, 0.5f};
    const QImage empty = Capture();
    Probe(home);
    // Replies arrive on the main loop whatever context is current, or none.
    QOpenGLContext::currentContext()->doneCurrent();
    ASSERT_TRUE(WaitIdle());
    const std::string url = server->Base() + Requests(kKest).at(0);
    const std::vector<float> first = CorrelationGrid(Fetch(url));
    EXPECT_EQ(first, Layer().GetVolumeBuffer()) << "the server's grid for the seed";
    const AnnotationLabel* selected = model->GetSelectedStructure();
    const QImage shown = Capture();
    EXPECT_GT(DifferentPixels(empty, shown), kSize * kSize / 20) << "the volume shows";

    // Each fault at another seed; put back at home, the scene draws what it drew before.
    const char* const kinds[] = {"404", "500", "truncated", "badcrc", "html"};
    std::size_t requests = Requests(kKest).size();
    float x = 0.2f;
    for (const char* kind : kinds)
    {
        SCOPED_TRACE(kind);
        Arm(kind);
        Probe({x, 0.4f, 0.6f});
        x += 0.1f;
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(++requests, Requests(kKest).size());
        EXPECT_EQ(first, Layer().GetVolumeBuffer());
        model->SetProbeLocation(home.data(), Space(), false);
        model->SelectStructure(selected, true);
        const QImage after = Capture();
        EXPECT_EQ(0, DifferentPixels(shown, after));
    }

    // A slow reply is left for a new seed, whose volume then shows.
    Arm("slow");
    Probe({0.3f, 0.3f, 0.3f});
    ASSERT_TRUE(RunEventsUntil([&] { return Requests(kKest).size() == requests + 1; }, kTimeoutMs));
    RunEventsFor(300);
    ASSERT_TRUE(Layer().IsRequesting());
    const std::array<float, 3> next = {0.6f, 0.45f, 0.4f};
    Probe(next);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(requests + 2, Requests(kKest).size());
    const std::vector<float> second = CorrelationGrid(Fetch(server->Base() + Requests(kKest).back()));
    ASSERT_NE(first, second);
    EXPECT_EQ(second, Layer().GetVolumeBuffer());
    RunEventsFor(600);
    EXPECT_EQ(second, Layer().GetVolumeBuffer()) << "nothing of the slow reply arrives later";
    model->SetProbeLocation(home.data(), Space(), false);
    model->SelectStructure(selected, true);
    EXPECT_GT(DifferentPixels(shown, Capture()), 100) << "the new volume is drawn";
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(ProbeLayersServerTest, AClickOnTheVolumeMovesTheProbeAndTheLayerAsks)
{
    Open(AtlasSet::GetAtlasWithId(310), BrainSceneView::CORRELATION_STRUCTURE_ID);
    const QImage empty = Capture();
    Probe({0.5f, 0.5f, 0.5f});
    ASSERT_TRUE(WaitIdle());
    const QImage shown = Capture();
    // A pixel of the volume away from the probe's marker and axes.
    window.wrapper->MakeCurrent();
    const std::array<double, 2> probe = scenetest::ScreenPoint(View(), {67 * 0.5f, 41 * 0.5f, 58 * 0.5f});
    int clickX = -1, clickRow = -1;
    for (int row = 0; row < kSize && clickX < 0; row += 3)
        for (int x = 0; x < kSize; x += 3)
        {
            const bool volume = empty.pixel(x, row) != shown.pixel(x, row) && qGreen(shown.pixel(x, row)) > 60;
            const double dx = x - probe[0], dy = (kSize - 1 - row) - probe[1];
            if (volume && std::abs(dx) > 30 && std::abs(dy) > 30 && std::hypot(dx, dy) < 120)
            {
                clickX = x;
                clickRow = row;
                break;
            }
        }
    ASSERT_GE(clickX, 0) << "no bright volume pixel";
    const std::vector<float> before(model->GetProbeLocation(), model->GetProbeLocation() + 3);
    window.wrapper->MakeCurrent();
    ASSERT_TRUE(renderer->OnButtonDown(0, clickX, clickRow, 0, 0));
    renderer->OnButtonUp(0, clickX, clickRow, 0, 10);
    const std::array<float, 3> moved = {model->GetProbeLocation()[0], model->GetProbeLocation()[1],
                                        model->GetProbeLocation()[2]};
    EXPECT_NE(before, std::vector<float>(moved.begin(), moved.end()));
    ASSERT_TRUE(WaitIdle());
    const std::vector<std::string> requests = Requests(kKest);
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("/kest/data/P56/download?seed=" + Seed(moved) + "&age=P56", requests[1]);
}

// --- The developing-mouse atlas: two spaces, a window per pair ---

TEST_F(ProbeLayersServerTest, DevelopingAtlasAsksPerViewWithTheWindowOfItsSpaces)
{
    Open(AtlasSet::GetAtlasWithId(350), BrainSceneView::CORRELATION_STRUCTURE_ID);
    ASSERT_EQ(2u, renderer->GetViews().size());
    const std::string names[2] = {Space(0)->GetName(), Space(1)->GetName()};
    ASSERT_EQ(0, Space(0)->GetIndex());
    ASSERT_EQ(1, Space(1)->GetIndex());
    const std::array<float, 3> at = {0.5f, 0.5f, 0.5f};
    Probe(at, 0);
    ASSERT_TRUE(WaitIdle());
    std::vector<std::string> expected;
    for (const std::string& age : names)
        expected.push_back("/kest/data/" + names[0] + "/download?seed=" + Seed(at, 0) + "&age=" + age);
    std::vector<std::string> requests = Requests(kKest);
    std::sort(requests.begin(), requests.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, requests);

    // The window of (probe space, view space), scaled: 0.9 × low and 1.1 × high capped at 1.
    struct Case
    {
        int view;
        float low, high;
    };
    const Case cases[] = {{0, 0.2208762f, 1.0f}, {1, 0.1761165f, 0.9071205f}};
    const Range window = model->GetVolumeRenderWindow();
    for (const Case& c : cases)
    {
        KestRenderer& layer = Layer(c.view);
        EXPECT_FLOAT_EQ(c.low, layer.GetCorrelationLow()) << c.view;
        EXPECT_FLOAT_EQ(c.high, layer.GetCorrelationHigh()) << c.view;
        int windows[4] = {0, 0, 0, 0};
        layer.GetVolumeRenderer()->GetTransferWindows(windows);
        const auto map = [&](float value) {
            return static_cast<int>(
                ((static_cast<float>(static_cast<int>(value)) / 255.0f) * (c.high - c.low) + c.low) * 255.0f);
        };
        EXPECT_EQ(map(window.min), windows[0]) << c.view;
        EXPECT_EQ(map(window.max), windows[1]) << c.view;
        EXPECT_NE(std::vector<float>(layer.GetVolumeBuffer().size(), 0.0f), layer.GetVolumeBuffer());
    }
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(ProbeLayersServerTest, DevelopingAtlasAsksNothingWhereASpaceIsP56)
{
    // A copy of the served atlas whose second space is named "P56".
    TempDir copy;
    const std::string folder = copy.File("350");
    std::filesystem::copy(server->ProgramAtlas(350), folder, std::filesystem::copy_options::recursive);
    const std::string second = AtlasSet::GetAtlasWithId(350)->GetSpace(1u)->GetName();
    std::string info = ReadBytes(folder + "/Info.xml");
    const std::string from = "name=\"" + second + "\"";
    const std::size_t at = info.find(from);
    ASSERT_NE(std::string::npos, at);
    info.replace(at, from.size(), "name=\"P56\"");
    WriteBytes(folder + "/Info.xml", info);
    std::filesystem::rename(folder + "/Spaces/" + second, folder + "/Spaces/P56");
    Open(std::make_shared<Atlas>(folder), BrainSceneView::CORRELATION_STRUCTURE_ID);
    ASSERT_EQ("P56", Space(1)->GetName());
    const std::string first = Space(0)->GetName();
    struct Step
    {
        std::array<float, 3> probe;
        int space;
        std::vector<std::string> ages; // the views that ask
    };
    const Step steps[] = {
        {{0.5f, 0.5f, 0.5f}, 1, {}},      // a probe in "P56"
        {{0.5f, 0.5f, 0.5f}, 0, {first}}, // only the view of the other space asks
        {{0.3f, 0.5f, 0.5f}, 1, {}},
    };
    std::vector<std::string> expected;
    for (const Step& step : steps)
    {
        Probe(step.probe, step.space);
        ASSERT_TRUE(WaitIdle());
        for (const std::string& age : step.ages)
            expected.push_back("/kest/data/" + Space(step.space)->GetName() +
                               "/download?seed=" + Seed(step.probe, step.space) + "&age=" + age);
        EXPECT_EQ(expected, Requests(kKest)) << step.space;
    }
}

// --- The rat atlas: asked through the mapping file, resampled ---

TEST_F(ProbeLayersServerTest, RatAtlasAsksThroughTheMappingAndDrawsTheResampledVolume)
{
    Open(AtlasSet::GetAtlasWithId(50000), BrainSceneView::CORRELATION_STRUCTURE_ID);
    auto* layer = dynamic_cast<WaxholmKestRenderer*>(&Layer());
    ASSERT_TRUE(layer);
    const QImage empty = Capture();
    const unsigned int* d = Space()->GetViewDimensions();
    const std::array<float, 3> at = {0.5f, 0.5f, 0.5f};
    int a = 0, b = 0, c = 0;
    ASSERT_TRUE(Space()->KestCoordinates(d[0] * at[0], d[1] * at[1], d[2] * at[2], a, b, c));
    Probe(at);
    ASSERT_TRUE(WaitIdle());
    const std::vector<std::string> requests = Requests(kKest);
    ASSERT_EQ(1u, requests.size());
    const std::string seed = std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c);
    EXPECT_EQ("/rat/kest/data/P56/download?seed=" + seed + "&age=P56", requests[0]);
    EXPECT_EQ(server->Base() + "/rat", model->GetAtlas()->GetHostUrl(""));
    // The reply on the 67 × 41 × 58 mouse grid, resampled into the 56 × 111 × 56 rat grid.
    const std::vector<float> grid = CorrelationGrid(Fetch(server->Base() + requests[0]));
    ASSERT_EQ(67u * 41u * 58u, grid.size());
    EXPECT_EQ(grid, layer->GetVolumeBuffer());
    const std::vector<float>& resampled = layer->GetResampledBuffer();
    ASSERT_EQ(56u * 111u * 56u, resampled.size());
    const float gridMax = *std::max_element(grid.begin(), grid.end());
    const float outMax = *std::max_element(resampled.begin(), resampled.end());
    EXPECT_GT(outMax, 0.5f * gridMax);
    EXPECT_LE(outMax, gridMax + 1e-4f);
    EXPECT_GT(DifferentPixels(empty, Capture()), kSize * kSize / 50) << "the volume shows";
    EXPECT_TRUE(alerts.alerts.empty());
}

// --- Projection maps ---

TEST_F(ProbeLayersServerTest, ProjectionLinesShowAndAPickedBallFetchesItsExperiment)
{
    Open(AtlasSet::GetAtlasWithId(310), BrainSceneView::PROJECTION_STRUCTURE_ID);
    ProjectionMapRenderer& layer = *View().GetProjectionLayer();
    const QImage empty = Capture();
    const std::array<float, 3> at = {0.5f, 0.5f, 0.5f};
    Probe(at);
    ASSERT_TRUE(WaitIdle());
    const unsigned int* d = Space()->GetViewDimensions();
    const float* r = Space()->GetViewResolution();
    std::string seed;
    for (int k = 0; k < 3; ++k)
        seed += (k ? "," : "") + std::to_string(static_cast<unsigned int>(
                                     static_cast<float>(static_cast<unsigned int>(d[k] * at[k] + 0.5f)) * r[k]));
    EXPECT_EQ(model->GetAtlas()->GetHostUrl("0378"), server->Base());
    EXPECT_EQ(std::vector<std::string>{"/data/P56/projection_map/target?seedPoint=" + seed + "&seedAge=P56"},
              Requests("/projection_map/"));
    EXPECT_TRUE(Requests(kKest).empty()) << "the correlation layer is not selected";
    ASSERT_FALSE(layer.GetLines().empty());
    const QImage shown = Capture();
    EXPECT_GT(DifferentPixels(empty, shown), 500) << "the lines show";

    // A click on an end ball that no other end shares fetches that experiment.
    window.wrapper->MakeCurrent();
    const ProjectionMapRenderer::InjectionStreamLine* target = nullptr;
    std::array<double, 2> point{};
    for (const auto& line : layer.GetLines())
    {
        const float* end = line.points.back().position;
        const std::array<double, 2> p = scenetest::ScreenPoint(View(), {end[0], end[1], end[2]});
        bool alone = p[0] > 5 && p[0] < kSize - 5 && p[1] > 5 && p[1] < kSize - 5;
        for (const auto& other : layer.GetLines())
        {
            const float* e = other.points.back().position;
            const std::array<double, 2> q = scenetest::ScreenPoint(View(), {e[0], e[1], e[2]});
            if (&other != &line && std::hypot(q[0] - p[0], q[1] - p[1]) < 25)
                alone = false;
        }
        if (alone)
        {
            target = &line;
            point = p;
            break;
        }
    }
    ASSERT_TRUE(target) << "no end ball stands alone";
    EXPECT_NE(empty.pixel(int(point[0]), kSize - 1 - int(point[1])),
              shown.pixel(int(point[0]), kSize - 1 - int(point[1])))
        << "the ball is drawn where it is picked";
    const unsigned int id = target->id;
    window.wrapper->MakeCurrent();
    ASSERT_TRUE(renderer->OnButtonDown(0, int(point[0]), kSize - 1 - int(point[1]), 0, 0));
    renderer->OnButtonUp(0, int(point[0]), kSize - 1 - int(point[1]), 0, 10);
    const std::string grid = model->GetAtlas()->GetGridDownloadUrl("0378");
    ASSERT_EQ(1u, fetches.urls.size());
    const std::string expected = server->Base() + "/grid/0378/" + std::to_string(id) + "/visualize";
    EXPECT_EQ(expected, fetches.urls[0]) << grid;
    // The server answers that URL with the experiment's data set.
    const std::string zip = Fetch(fetches.urls[0]);
    MemoryStreamRef stream(zip.data(), static_cast<unsigned int>(zip.size()));
    ZipReader reader(&stream);
    std::string names;
    for (const ZipReader::ZipItem& item : reader.GetDirectory())
        names += item.name + " ";
    EXPECT_NE(std::string::npos, names.find("image_series.xml")) << names;
    // The probe is to go to the ball's end once the experiment has loaded.
    const float* end = target->points.back().position;
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(end[k] / d[k], model->GetNextProbeLocation()[k], 1e-5f);
    EXPECT_TRUE(alerts.alerts.empty());
}

} // namespace
