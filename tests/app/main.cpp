// The application suite needs an application object for its windows and networking, a fixed widget style
// for the pixel checks, and a private HOME and XDG tree so that no test touches the user's own files.

#include <QApplication>
#include <QStyleFactory>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <memory>

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
    UsePrivateHome(root);

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
