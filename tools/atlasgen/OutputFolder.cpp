#include "OutputFolder.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace atlasgen
{

namespace
{

void CheckReplaceable(const fs::path& target)
{
    if (!fs::exists(target))
        return;
    if (!fs::is_directory(target))
        throw std::runtime_error("The output path exists and is not a folder: " + target.string());
    if (!fs::is_empty(target) && !fs::exists(target / "Info.xml"))
        throw std::runtime_error("The output folder is not empty and holds no atlas; refusing to replace it: " +
                                 target.string());
}

} // namespace

OutputFolder::OutputFolder(const std::string& target)
    : target_(target)
{
    if (target.empty())
        throw std::runtime_error("No output folder given");
    fs::path path = fs::absolute(target).lexically_normal();
    if (path.filename().empty())
        path = path.parent_path();
    // The scratch folder is a sibling of the target, and replacing the target removes it whole.
    if (path == path.root_path() || path.filename() == "." || path.filename() == "..")
        throw std::runtime_error("The output folder must be a named folder, not " + target);
    target_ = path.string();
    CheckReplaceable(path);
    scratch_ = target_ + ".atlasgen-partial";
    fs::remove_all(scratch_);
    fs::create_directories(scratch_);
}

OutputFolder::~OutputFolder()
{
    if (!committed_)
    {
        std::error_code ignored;
        fs::remove_all(scratch_, ignored);
    }
}

void OutputFolder::Commit()
{
    CheckReplaceable(target_);
    if (fs::exists(target_))
        fs::remove_all(target_);
    fs::rename(scratch_, target_);
    committed_ = true;
}

} // namespace atlasgen
