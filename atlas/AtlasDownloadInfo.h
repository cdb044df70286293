#pragma once

#include <string>

// One atlas package that the data server's catalogue offers.
struct AtlasDownloadInfo
{
    // Also the name of the atlas's folders under "Download" and "Atlases": always a plain folder name.
    std::string name;
    // Absolute URL of the zip package.
    std::string url;
    // Shown as it stands, never interpreted.
    std::string datePublished;
    unsigned int id = 0;
    unsigned int version = 0;
    // Package size in bytes, as the catalogue announces it.
    unsigned int size = 0;
    // False when an installed atlas with this id has this version or a later one.
    bool needsInstall = true;
};

// True when name can stand as one component of a path: not empty, not "." or "..", and without "/" or a
// NUL byte. Names from the network and from installed atlases become folder names only when this holds.
bool IsPlainFolderName(const std::string& name);
