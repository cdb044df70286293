// The expression suite runs searches and downloads against the demo server through the real Qt transport,
// which needs an application object; a private HOME and XDG tree keep the user's own settings out of it.

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <cstdlib>

#include <stdlib.h>
#include <sys/stat.h>

#include "TestSupport.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
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

    int result = 0;
    {
        QCoreApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
