// Drawing speed of the brain scene's expression glyphs on the GL at hand (llvmpipe under Xvfb), beside
// a bare GL program that draws the same icosahedra (positions, sizes, colours, lights) from one display
// list.
//
// It generates the demo atlas 310, reads a bare grid of about 150,000 expressors, and draws the scene
// at 1024 x 768 into a framebuffer object with the meshes off. It prints the list compile time, the
// cached frame time, the live-update frame time and the bare program's frame time in milliseconds, and
// the ratios to the bare program.
//
// Arguments: [frames]

#include <GL/glew.h>

#include "atlas/Atlas.h"
#include "atlas/AtlasSet.h"
#include "atlas/BrainOntology.h"
#include "core/MemoryDefaultsStore.h"
#include "core/PlatformHooks.h"
#include "core/ResourcePath.h"
#include "core/UserPreferences.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "gl/GLDisplay.h"
#include "gl/GLIcosahedron.h"
#include "gl/SharedContext.h"
#include "scene/BrainSceneRenderer.h"
#include "scene/BrainSceneView.h"
#include "scene/ExpressionRenderer.h"
#include "scene/ExpressorFilter.h"

#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{

constexpr int kWidth = 1024;
constexpr int kHeight = 768;

class NullTextBox : public GLTextBox
{
public:
    void SetText(const std::string&) override {}
    void Draw(int, int) override {}
    void ShowBackground(bool) override {}
    int GetLineHeight() override { return 15; }
    int GetTextWidth() override { return 0; }
    int GetWidth() override { return 0; }
    int GetHeight() override { return 15; }
};

// A display that draws nowhere but the bound framebuffer and never asks for anything.
class BenchDisplay : public GLDisplay
{
public:
    void Display() override {}
    void Invalidate() override {}
    void SwapBuffers() override {}
    bool MakeCurrent() override { return true; }
    void SetVSync(bool) override {}
    void SetSendMouseMoved(bool) override {}
    int GetWidth() override { return kWidth; }
    int GetHeight() override { return kHeight; }
    void CaptureMouse() override {}
    void ReleaseMouse() override {}
    void StartTimer(unsigned int, TimerListener*) override {}
    void StopTimer() override {}
    GLTextBox* CreateTextBox(int, int, bool, GLTextBox::Alignment) override { return new NullTextBox; }
    void AddCursorRect(int, int, int, int, Cursors::Cursor) override {}
    void InvalidateCursorRects() override {}
    unsigned int GetDefaultFramebuffer() override { return framebuffer; }
    unsigned int framebuffer = 0;
};

// Milliseconds of one call, the GL finished.
double Time(const std::function<void()>& draw)
{
    const auto start = std::chrono::steady_clock::now();
    draw();
    glFinish();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double Average(int frames, const std::function<void()>& draw)
{
    Time(draw); // warm-up
    double total = 0;
    for (int i = 0; i < frames; ++i)
        total += Time(draw);
    return total / frames;
}

// A bare grid of atlas 310 (133 x 81 x 115) whose values above e^6 make expressors: about 150,000 cells
// of an ellipsoid, chosen by an integer hash, with values spread over a decade.
std::string MakeGrid()
{
    const unsigned int size[3] = {133, 81, 115};
    std::string bytes(4u * size[0] * size[1] * size[2], '\0');
    std::size_t i = 0, cells = 0;
    for (unsigned int z = 0; z < size[2]; ++z)
        for (unsigned int y = 0; y < size[1]; ++y)
            for (unsigned int x = 0; x < size[0]; ++x, ++i)
            {
                const float dx = (x - 66.0f) / 60.0f, dy = (y - 40.0f) / 36.0f, dz = (z - 57.0f) / 52.0f;
                const unsigned int hash = (x * 73856093u) ^ (y * 19349663u) ^ (z * 83492791u);
                if (dx * dx + dy * dy + dz * dz > 1.0f || hash % 1000 >= 320)
                    continue;
                const float value = 500.0f + static_cast<float>(hash % 4500);
                std::memcpy(&bytes[4 * i], &value, 4);
                ++cells;
            }
    std::printf("grid cells above threshold: %zu\n", cells);
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::atoi(argv[1]) : 20;
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 1);
    SharedContext::Configure();
    int appArgc = 1;
    char name[] = "bench_scene";
    char* appArgv[] = {name, nullptr};
    QGuiApplication application(appArgc, appArgv);
    if (!SharedContext::MakeCurrent())
    {
        std::fprintf(stderr, "no GL context\n");
        return 1;
    }
    std::printf("GL renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));

    const std::filesystem::path root = std::filesystem::temp_directory_path() / "corvane-bench-scene";
    std::filesystem::remove_all(root);
    const std::string command = std::string("'") + CORVANE_ATLASGEN + "' --profile demo --id 310 --out '" +
                                (root / "Atlases" / "310").string() + "' > /dev/null";
    if (std::system(command.c_str()) != 0)
    {
        std::fprintf(stderr, "atlas generator failed\n");
        return 1;
    }
    MemoryDefaultsStore store;
    store.SetValue("UserAtlasPath", root.string());
    PlatformHooks::SetDefaultsStore(&store);
    UserPreferences::ResetPreferences();
    ResourcePath::ClearCache();

    GLuint framebuffer = 0, colour = 0, depth = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGenRenderbuffers(1, &colour);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, kWidth, kHeight);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    glGenRenderbuffers(1, &depth);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, kWidth, kHeight);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);

    {
        BrainExpressionModel model(AtlasSet::GetAtlasWithId(310));
        const BrainOntology& ontology = *model.GetAtlas()->GetOntology();
        BenchDisplay display;
        display.framebuffer = framebuffer;
        BrainSceneRenderer renderer(&display, &model, nullptr, nullptr);
        renderer.Initialize();
        renderer.Reshape(kWidth, kHeight);
        const std::string grid = MakeGrid();
        auto gene = std::make_shared<GeneExpression>(grid.data(), static_cast<unsigned long>(grid.size()));
        model.AddGeneExpression(gene, false);
        model.SetCompassLocation(BrainExpressionModel::COMPASS_HIDDEN, false);
        model.SetStructureSelector(BrainExpressionModel::Selector(ontology.GetNumLabels(), false), false);
        model.SetExpressionSelector(BrainExpressionModel::Selector(ontology.GetNumLabels(), true), false);
        model.SetExpressionDensityVisibilityThreshold(0.0f, 0.0f, false);
        model.SetZoom(50.0f, false);
        BrainSceneView& view = *renderer.GetViews().front();
        ExpressionRenderer& glyphs = *view.GetExpressionRenderers().begin()->second;
        std::printf("expressors: %zu\n", gene->GetExpressors(view.GetAtlasSpace())->size());

        glyphs.ThresholdChanged();
        const double compile = Time([&] { glyphs.Draw(true); });
        const double cached = Average(frames, [&] { renderer.Display(); });
        model.SetLiveUpdate(true);
        const double live = Average(std::max(1, frames / 4), [&] { renderer.Display(); });
        model.SetLiveUpdate(false);

        // The bare program: the same camera, lights and glyphs, from one list.
        view.SetupViewPort();
        view.DoViewTransforms();
        glTranslatef(-0.1f, -0.1f, -0.1f);
        GLfloat modelView[16], projection[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        const ExpressorFilter filter(model, *view.GetAtlasSpace(), *gene, nullptr, ExpressorFilter::kCompile);
        const GLIcosahedron icosahedron;
        const GLuint list = glGenLists(1);
        glNewList(list, GL_COMPILE);
        glBegin(GL_TRIANGLES);
        std::size_t drawn = 0;
        const float* rgb = gene->GetColor();
        for (const Expressor& e : *gene->GetExpressors(view.GetAtlasSpace()))
        {
            int index = 0;
            if (!filter.Passes(e, index))
                continue;
            const float f = index / 255.0f;
            glColor3f(rgb[0] * f, rgb[1] * f, rgb[2] * f);
            icosahedron.DrawAt(e.position[0], e.position[1], e.position[2], glyphs.GetExpressorSize(&e), false);
            ++drawn;
        }
        glEnd();
        glEndList();
        const double bare = Average(frames, [&] {
            glViewport(0, 0, kWidth, kHeight);
            glClearColor(0, 0, 0, 0);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            glMatrixMode(GL_PROJECTION);
            glLoadMatrixf(projection);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            renderer.PositionLights();
            glLoadMatrixf(modelView);
            glEnable(GL_LIGHTING);
            glCallList(list);
        });
        glDeleteLists(list, 1);

        std::printf("glyphs drawn by the bare program: %zu\n", drawn);
        std::printf("list compile:       %8.2f ms\n", compile);
        std::printf("cached frame:       %8.2f ms  (%.2f x bare)\n", cached, cached / bare);
        std::printf("live-update frame:  %8.2f ms  (%.2f x bare)\n", live, live / bare);
        std::printf("bare program frame: %8.2f ms\n", bare);
        std::printf("goal: cached frame within 1.5 x the bare program: %s\n", cached <= 1.5 * bare ? "met" : "missed");
    }
    glDeleteRenderbuffers(1, &depth);
    glDeleteRenderbuffers(1, &colour);
    glDeleteFramebuffers(1, &framebuffer);
    PlatformHooks::SetDefaultsStore(nullptr);
    UserPreferences::ResetPreferences();
    SharedContext::Shutdown();
    std::filesystem::remove_all(root);
    return 0;
}
