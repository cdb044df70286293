#pragma once

#include "core/Directories.h"

#include <string>

// The application's folders. Each is found on first request and then kept for the life of the process; a
// failed lookup keeps nothing and throws again on the next request. Every path ends in "/".
class ResourcePath
{
public:
    // The read-only program data folder ("Shaders", the default "Bookmarks.xml", images): share/corvane
    // beside the executable's bin folder when installed, else the build tree's copy.
    // Throws std::runtime_error "Could not find program data directory.".
    static const std::string& GetResourcePath();
    // The base folder of installed atlases: the UserAtlasPath setting, else "Atlases" beside the
    // executable, else "Atlases" in the program data folder, else the application folder in the user's data
    // folder (created when missing). Throws std::runtime_error when the last cannot be found or made.
    static const std::string& GetUserAtlasPath();
    // "Settings" inside the application folder in the user's data folder, created when missing.
    // Throws std::runtime_error when it cannot be found or made.
    static const std::string& GetUserSettingsPath();

    // The user's data folder, as the freedesktop base directories define it ($XDG_DATA_HOME, else
    // ~/.local/share), without a trailing "/"; empty when there is no home folder.
    static std::string GetUserDataLocation();

    // Forgets the folders found so far (tests and tools that move HOME between lookups).
    static void ClearCache();

    // The application folder's name inside the user's data folder.
    static const char* const APPLICATION_NAME;
};
