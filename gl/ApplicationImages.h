#pragma once

#include <QImage>

#include <string>

// The program's named images (icons and cursor shapes). Every one is drawn here, in code, on first
// request; nothing is read from elsewhere. Main thread only (after the application object exists).
class ApplicationImages
{
public:
    // A copy of the named image, or a null image when there is none of that name. At a ratio above 1 the
    // image is drawn with that many pixels per pixel of its size (an image set by SetImage is scaled).
    static QImage GetImage(const std::string& name, double ratio = 1.0);
    // Replaces (or adds) the image of a name; a null image restores the drawn one (or none). For
    // images the program makes at run time, and for tests.
    static void SetImage(const std::string& name, const QImage& image);
};
