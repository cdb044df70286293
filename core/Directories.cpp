#include "core/Directories.h"

#include <boost/filesystem/operations.hpp>

#include <stdexcept>

namespace fs = boost::filesystem;

bool MakeDirectory(const std::string& path)
{
    if (path.empty())
        return false;
    boost::system::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::is_directory(status))
        return true;
    if (fs::exists(fs::symlink_status(path, ec)))
    {
        fs::remove(path, ec);
        if (ec)
            return false;
    }
    fs::create_directories(path, ec);
    return !ec && fs::is_directory(path, ec);
}

void EnsureDirectory(const fs::path& path)
{
    const std::runtime_error failure("Could not create directory at " + path.string());
    boost::system::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::is_directory(status))
        return;
    if (fs::exists(fs::symlink_status(path, ec)))
    {
        // Something other than a folder blocks the way (a file, or a link to nowhere).
        fs::remove(path, ec);
        if (ec)
            throw failure;
    }
    ec.clear();
    fs::create_directories(path, ec);
    if (ec || !fs::is_directory(path, ec))
        throw failure;
}
