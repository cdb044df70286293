#pragma once

#include <string>

// Small operating-system services; all report failure through their results.
class OSUtils
{
public:
    static void OSSleep(unsigned int ms);
    // Removes a file, or a folder with its contents.
    static bool DeleteFile(const char* path);
    // Moves or renames; fails when to already exists.
    static bool MoveFile(const char* from, const char* to);
    // Whether the path opens for binary reading.
    static bool FileExists(const char* path);
    // Wall-clock seconds since 1970 with microsecond resolution; 0.0 when the clock cannot be read.
    static double GetTime();
    // Percent-escapes the URL (UTF-8) and asks the platform to show it in the web browser. When the platform
    // cannot, an alert says so and shows the escaped URL; the result is false.
    static bool OpenBrowser(const char* url);
    static bool OpenBrowser(const std::string& url);
    // The alert of a page that the browser could not be made to show.
    static std::string BrowserFailureMessage(const std::string& escapedUrl);
    static char DirectorySeparator() { return '/'; }

    // Escapes what may not stand in a URL (spaces, controls, non-ASCII bytes, and a few unsafe ASCII
    // characters) as %XX of its UTF-8 bytes; the URL's delimiters and escapes already present are kept.
    static std::string EscapeURL(const std::string& url);
};
