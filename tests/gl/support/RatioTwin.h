#pragma once

// Window tests at a screen scale (QT_SCALE_FACTOR, which CMake sets for the runs at 2 and 1.5) compare
// their frame with the same test's frame at scale 1: the test runs again in a process of its own at scale
// 1, which only hands its frame over in a file.

#include <QImage>

#include <string>

class TempDir;

namespace ratiotwin
{

// The scale this process runs at: QT_SCALE_FACTOR, 1 when unset.
double Scale();
// A logical edge in the device pixels of this scale, rounded as the window system rounds.
int Device(int logical);
// In the scale-1 twin: saves the frame for the process that asked for it and answers true; the test then
// ends. Elsewhere false.
bool HandOver(const QImage& frame);
// The frame of the test ("Suite.Name") run at scale 1 in a process of its own; null when it failed.
QImage AtScaleOne(const std::string& test, const TempDir& dir);

} // namespace ratiotwin
