#pragma once

// Every file under a folder with a digest of its bytes, and every folder, so that a test can tell that
// nothing there changed.

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"

// Relative path -> "dir", or the file's size and hash. Folders named in skip (relative paths) are left out
// with everything in them.
inline std::map<std::string, std::string> ListFolder(const std::string& root, const std::vector<std::string>& skip = {})
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> listing;
    for (auto entry = fs::recursive_directory_iterator(root); entry != fs::recursive_directory_iterator(); ++entry)
    {
        const std::string relative = fs::relative(entry->path(), root).generic_string();
        bool skipped = false;
        for (const std::string& folder : skip)
            skipped = skipped || relative == folder;
        if (skipped)
        {
            entry.disable_recursion_pending();
            continue;
        }
        if (entry->is_directory())
        {
            listing[relative] = "dir";
            continue;
        }
        const std::vector<unsigned char> bytes = ReadWholeFile(entry->path().string());
        listing[relative] = std::to_string(bytes.size()) + ":" +
                            std::to_string(std::hash<std::string>()(std::string(bytes.begin(), bytes.end())));
    }
    return listing;
}
