#include "core/ResourcePath.h"

#include "core/UserPreferences.h"

#include <boost/filesystem/operations.hpp>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace fs = boost::filesystem;

const char* const ResourcePath::APPLICATION_NAME = "Corvane 2";

namespace
{

std::string cachedResourcePath;
std::string cachedUserAtlasPath;
std::string cachedUserSettingsPath;

std::string WithSlash(std::string path)
{
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

// One candidate folder: resolved ("..", links) and accepted only when it is an existing folder.
bool StandardFolder(const fs::path& candidate, std::string& out)
{
    if (candidate.empty())
        return false;
    boost::system::error_code ec;
    const fs::path resolved = fs::canonical(candidate, ec);
    if (ec || !fs::is_directory(resolved, ec))
        return false;
    out = resolved.string();
    return true;
}

fs::path ExecutableFolder()
{
    boost::system::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result && result->pw_dir)
        return result->pw_dir;
    return std::string();
}

// The application folder in the user's data folder, made when missing; with a trailing "/".
std::string ApplicationFolder()
{
    const std::string dataLocation = ResourcePath::GetUserDataLocation();
    if (dataLocation.empty())
        throw std::runtime_error("Could not locate application support directory.");
    const std::string folder = dataLocation + "/" + ResourcePath::APPLICATION_NAME;
    if (!MakeDirectory(folder))
        throw std::runtime_error("Could not initialize application support directory.");
    return folder + "/";
}

} // namespace

const std::string& ResourcePath::GetResourcePath()
{
    if (!cachedResourcePath.empty())
        return cachedResourcePath;
    std::vector<fs::path> candidates;
    const fs::path exeFolder = ExecutableFolder();
    if (!exeFolder.empty())
        candidates.push_back(exeFolder / ".." / "share" / "corvane");
#ifdef CORVANE_BUILD_DATA_DIR
    candidates.push_back(CORVANE_BUILD_DATA_DIR);
#endif
    std::string found;
    for (const fs::path& candidate : candidates)
        if (StandardFolder(candidate, found))
            return cachedResourcePath = WithSlash(found);
    throw std::runtime_error("Could not find program data directory.");
}

const std::string& ResourcePath::GetUserAtlasPath()
{
    if (!cachedUserAtlasPath.empty())
        return cachedUserAtlasPath;
    const std::string& setting = UserPreferences::GetPreferences()->GetUserAtlasPath();
    if (!setting.empty())
        return cachedUserAtlasPath = WithSlash(setting);
    std::string found;
    const fs::path exeFolder = ExecutableFolder();
    if (!exeFolder.empty() && StandardFolder(exeFolder / "Atlases", found))
        return cachedUserAtlasPath = WithSlash(found);
    try
    {
        if (StandardFolder(fs::path(GetResourcePath()) / "Atlases", found))
            return cachedUserAtlasPath = WithSlash(found);
    }
    catch (const std::runtime_error&)
    {
        // Without a program data folder there are no atlases shipped with the program.
    }
    return cachedUserAtlasPath = ApplicationFolder();
}

const std::string& ResourcePath::GetUserSettingsPath()
{
    if (!cachedUserSettingsPath.empty())
        return cachedUserSettingsPath;
    const std::string settings = ApplicationFolder() + "Settings";
    if (!MakeDirectory(settings))
        throw std::runtime_error("Could not initialize application settings directory.");
    return cachedUserSettingsPath = settings + "/";
}

std::string ResourcePath::GetUserDataLocation()
{
    // A relative XDG_DATA_HOME is invalid by the base directory rules and must be ignored.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/')
    {
        std::string location = xdg;
        while (location.size() > 1 && location.back() == '/')
            location.pop_back();
        return location;
    }
    const std::string home = HomeFolder();
    if (home.empty())
        return std::string();
    return (home.back() == '/' ? home : home + "/") + ".local/share";
}

void ResourcePath::ClearCache()
{
    cachedResourcePath.clear();
    cachedUserAtlasPath.clear();
    cachedUserSettingsPath.clear();
}
