#include "atlas/AtlasDownloadInfo.h"
#include "atlas/AtlasInstaller.h"
#include "atlas/AtlasInstallerListener.h"
#include "atlas/AtlasSet.h"

#include "tests/fuzz/FuzzMemoryCap.h"
#include "tests/fuzz/FuzzNetwork.h"
#include "tests/fuzz/FuzzTempFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace
{
FuzzNetwork* network = nullptr;

class Listener : public AtlasInstallerListener
{
public:
    void AtlasDownloadComplete(const AtlasInstaller*) override { complete = true; }
    void AtlasDownloadError(const AtlasInstaller*, const std::string&) override {}
    bool complete = false;
};

// The user atlas folder lies two folders deep in the harness's own folder, so that an entry that climbs
// out of it lands where the check below looks.
fs::path Base()
{
    return fs::path(FuzzTempFile::Folder()) / "outer" / "inner" / "base";
}

// Every file the installer wrote must lie in its three folders of the user atlas folder.
void CheckNothingEscaped()
{
    const fs::path base = Base();
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(FuzzTempFile::Folder()))
    {
        if (entry.is_directory() && !entry.is_symlink())
            continue;
        const fs::path relative = entry.path().lexically_relative(base);
        const std::string top = relative.empty() ? std::string() : relative.begin()->string();
        if (top != "Atlases" && top != "Download" && top != "PreviousAtlasVersions")
        {
            std::fprintf(stderr, "The installer wrote %s outside its folders\n", entry.path().c_str());
            std::abort();
        }
    }
}
} // namespace

// A package declares entry sizes and names: each size is checked against the package, and each name
// against the unpack folder, before a byte is written.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    AddMemoryCap(argc, argv, 1536);
    network = new FuzzNetwork;
    fs::create_directories(Base() / "Atlases");
    SetFuzzSetting("UserAtlasPath", Base().string());
    AtlasSet::GetAtlases()->Reload();
    return 0;
}

// An atlas package as the server sends it, downloaded, unpacked and installed. Byte 0 picks how the server
// answers (bits 0-3, FuzzReply); the rest is the package. Seeds: whole atlases made small from the
// generated ones, and the demo server's hostile packages with an atlas configuration that the program
// could install.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > 0xFFFFFFFFu)
        return 0;
    const FuzzReply reply = FuzzReply::FromBits(data[0]);
    ++data, --size;
    AtlasDownloadInfo info;
    info.name = "Fuzz Atlas";
    info.url = "http://127.0.0.1:8470/Corvane2/packages/42-1.zip";
    info.id = 42;
    info.version = 1;
    info.size = static_cast<unsigned int>(size);
    Listener listener;
    try
    {
        AtlasInstaller installer(info, &listener, nullptr);
        installer.Download();
        network->Answer(data, size, "application/zip", reply);
        if (listener.complete)
            installer.Unpack();
    }
    catch (...)
    {
    }
    CheckNothingEscaped();
    for (const char* folder : {"Download", "PreviousAtlasVersions"})
        fs::remove_all(Base() / folder);
    fs::remove_all(Base() / "Atlases");
    fs::create_directories(Base() / "Atlases");
    AtlasSet::GetAtlases()->Reload();
    return 0;
}
