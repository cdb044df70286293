#pragma once

#include "atlas/Atlas.h"
#include "atlas/AtlasSet.h"
#include "tests/fuzz/FuzzSettings.h"
#include "tests/fuzz/FuzzTempFile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

// Harnesses whose readers look atlases up read the atlases that corvane-atlasgen wrote into the folder
// named by CORVANE_FUZZ_ATLASES (one folder per atlas, "atlas<id>", for the ids 310, 350, 351 and 378).
// They are installed into a folder of this process's own, linked entry by entry so that the caches the
// program writes into an atlas's "Local" folder stay with this process.
inline void InstallFuzzAtlases()
{
    namespace fs = std::filesystem;
    const char* source = std::getenv("CORVANE_FUZZ_ATLASES");
    if (!source || !fs::is_directory(source))
    {
        std::fprintf(stderr, "CORVANE_FUZZ_ATLASES must name a folder of generated atlases\n");
        std::exit(2);
    }
    const fs::path base = fs::path(FuzzTempFile::Folder()) / "settings";
    for (const fs::directory_entry& atlas : fs::directory_iterator(source))
    {
        const fs::path target = base / "Atlases" / atlas.path().filename();
        fs::create_directories(target);
        for (const fs::directory_entry& entry : fs::directory_iterator(atlas.path()))
            if (entry.path().filename() != "Local")
                fs::create_symlink(fs::absolute(entry.path()), target / entry.path().filename());
    }
    SetFuzzSetting("UserAtlasPath", base.string());
    AtlasSet::GetAtlases()->Reload();
}

// An installed atlas, which must be there.
inline std::shared_ptr<Atlas> FuzzAtlas(unsigned int id)
{
    std::shared_ptr<Atlas> atlas = AtlasSet::GetAtlasWithId(id);
    if (!atlas)
    {
        std::fprintf(stderr, "atlas %u is not among CORVANE_FUZZ_ATLASES\n", id);
        std::exit(2);
    }
    return atlas;
}
