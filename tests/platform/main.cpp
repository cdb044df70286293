// The platform suite needs an application object for dialogs, settings and networking, and a private
// HOME and XDG tree so that no test touches the user's own settings or data.

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "TestSupport.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Test discovery runs at build time, without a display.
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();

    const TempDir root;
    UsePrivateHome(root);

    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
