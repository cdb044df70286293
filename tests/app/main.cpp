// The application suite needs an application object for its windows and networking, a fixed widget style
// for the pixel checks, and a private HOME and XDG tree so that no test touches the user's own files.

#include <QApplication>
#include <QStyleFactory>

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <clocale>
#include <cstdlib>
#include <memory>

#include <stdlib.h>
#include <sys/stat.h>

#include "TestSupport.h"
#include "gl/SharedContext.h"
#include "platform/PlatformServices.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Test discovery runs at build time, without a display.
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();

    const TempDir root;
    for (const char* sub : {"home", "data", "config", "cache", "runtime"})
        boost::filesystem::create_directories(root.File(sub));
    chmod(root.File("runtime").c_str(), 0700);
    setenv("HOME", root.File("home").c_str(), 1);
    setenv("XDG_DATA_HOME", root.File("data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", root.File("config").c_str(), 1);
    setenv("XDG_CACHE_HOME", root.File("cache").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", root.File("runtime").c_str(), 1);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);

    // Document windows hold GL views: GLX contexts (Debian's GLEW speaks GLX) in the program's pixel format.
    setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 1);
    SharedContext::Configure();
    int result = 0;
    {
        QApplication app(argc, argv);
        std::setlocale(LC_NUMERIC, "C");
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        const auto services = std::make_unique<PlatformServices>();
        result = RUN_ALL_TESTS();
        SharedContext::Shutdown();
    }
    return result;
}
