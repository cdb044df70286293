// The platform suite needs an application object for dialogs, settings and networking, and a private
// HOME and XDG tree so that no test touches the user's own settings or data.
//
// A warning from Qt fails the test that caused it: in normal use the program makes Qt print nothing.

#include <QApplication>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "TestSupport.h"

namespace
{

QtMessageHandler qtDefaultHandler = nullptr;

void FailOnQtWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg || type == QtCriticalMsg)
        ADD_FAILURE() << "Qt warned: " << message.toStdString();
    qtDefaultHandler(type, context, message);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Test discovery runs at build time, without a display.
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();

    const TempDir root;
    UsePrivateHome(root);

    qtDefaultHandler = qInstallMessageHandler(FailOnQtWarnings);
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
