#include "gl/support/RatioTwin.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace ratiotwin
{

namespace
{

constexpr const char* kTwinVariable = "CORVANE_RATIO_TWIN";

} // namespace

double Scale()
{
    const char* factor = std::getenv("QT_SCALE_FACTOR");
    return factor && *factor ? std::atof(factor) : 1.0;
}

int Device(int logical)
{
    return static_cast<int>(std::lround(logical * Scale()));
}

bool HandOver(const QImage& frame)
{
    const char* path = std::getenv(kTwinVariable);
    if (!path)
        return false;
    EXPECT_TRUE(frame.save(path, "PNG")) << path;
    return true;
}

QImage AtScaleOne(const std::string& test, const TempDir& dir)
{
    const std::string path = dir.File(test + "-scale1.png");
    const std::string output = dir.File(test + "-scale1.out");
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string command = "QT_SCALE_FACTOR=1 " + std::string(kTwinVariable) + "='" + path + "' '" + self +
                                "' --gtest_filter='" + test + "' > '" + output + "' 2>&1";
    if (std::system(command.c_str()) != 0)
    {
        const std::vector<unsigned char> text = ReadWholeFile(output);
        ADD_FAILURE() << "the scale-1 twin failed:\n" << std::string(text.begin(), text.end());
        return QImage();
    }
    return QImage(QString::fromStdString(path));
}

} // namespace ratiotwin
