#pragma once

// What the scene benchmarks share: the program's GLX context under X (Xvfb), the demo atlas 310 generated
// into a scratch folder as the only user atlas, its scene drawn at 1024 x 768 into a framebuffer object
// (the GL tests' own) through a display that never asks for anything, and frames timed with the GL finished.

#include <GL/glew.h>

#include "atlas/AtlasSet.h"
#include "core/MemoryDefaultsStore.h"
#include "core/PlatformHooks.h"
#include "core/ResourcePath.h"
#include "core/UserPreferences.h"
#include "expression/BrainExpressionModel.h"
#include "gl/GLDisplay.h"
#include "gl/SharedContext.h"
#include "gl/support/GLTestFramebuffer.h"
#include "scene/BrainSceneRenderer.h"

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

namespace scenebench
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
    double GetPixelRatio() override { return 1.0; }
    unsigned int framebuffer = 0;
};

// Milliseconds of one call, the GL finished.
inline double Time(const std::function<void()>& draw)
{
    const auto start = std::chrono::steady_clock::now();
    draw();
    glFinish();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The mean of frames calls after one that warms up lists, textures and programs.
inline double Average(int frames, const std::function<void()>& draw)
{
    Time(draw);
    double total = 0;
    for (int i = 0; i < frames; ++i)
        total += Time(draw);
    return total / frames;
}

using SceneBenchmark =
    std::function<void(BrainExpressionModel& model, BrainSceneRenderer& renderer, GLuint framebuffer)>;

// Runs the benchmark on the scene of atlas 310, its renderer initialised for the frame and the framebuffer
// bound; answers main's exit status (1 when there is no GL context or no atlas).
inline int RunOnScene(const char* name, const SceneBenchmark& benchmark)
{
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 1);
    SharedContext::Configure();
    int appArgc = 1;
    std::string appName = name;
    char* appArgv[] = {appName.data(), nullptr};
    QGuiApplication application(appArgc, appArgv);
    if (!SharedContext::MakeCurrent())
    {
        std::fprintf(stderr, "no GL context\n");
        return 1;
    }
    std::printf("GL renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));

    std::string folder = "corvane-" + appName;
    std::replace(folder.begin(), folder.end(), '_', '-');
    const std::filesystem::path root = std::filesystem::temp_directory_path() / folder;
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

    {
        GLTestFramebuffer target(kWidth, kHeight);
        target.Bind();
        BrainExpressionModel model(AtlasSet::GetAtlasWithId(310));
        BenchDisplay display;
        display.framebuffer = target.GetName();
        BrainSceneRenderer renderer(&display, &model, nullptr, nullptr);
        renderer.Initialize();
        renderer.Reshape(kWidth, kHeight);
        benchmark(model, renderer, target.GetName());
    }
    PlatformHooks::SetDefaultsStore(nullptr);
    UserPreferences::ResetPreferences();
    SharedContext::Shutdown();
    std::filesystem::remove_all(root);
    return 0;
}

} // namespace scenebench
