#include "atlas/AtlasInstaller.h"

#include "atlas/Atlas.h"
#include "atlas/AtlasInstallerListener.h"
#include "atlas/AtlasSet.h"
#include "core/Directories.h"
#include "core/FileUtils.h"
#include "core/NetFile.h"
#include "core/ResourcePath.h"
#include "core/TaskProgress.h"
#include "core/UserCancelledOperationException.h"
#include "core/ZipReader.h"

#include <boost/filesystem/operations.hpp>
#include <boost/format.hpp>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

namespace fs = boost::filesystem;

const char* const AtlasInstaller::DOWNLOAD_DIR = "Download";

namespace
{

const char* const PREVIOUS_VERSIONS_DIR = "PreviousAtlasVersions";
const char* const ATLASES_DIR = "Atlases";
const char* const WRITE_FAILED = "Failed to write downloaded atlas to disk.";
// The cancel flag and the progress are looked at once every this many entries.
const unsigned int ENTRIES_PER_REPORT = 26;

fs::path BaseFolder()
{
    return fs::path(ResourcePath::GetUserAtlasPath());
}

bool Exists(const fs::path& path)
{
    boost::system::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

// The entry's path inside the unpack folder. Entries that would land elsewhere (absolute names, ".."
// components, names cut short by a NUL byte) refuse the whole package before anything is written.
fs::path EntryPath(const fs::path& folder, const std::string& name)
{
    const std::runtime_error refused("The atlas package holds an entry outside its folder: " + name);
    if (name.empty() || name.front() == '/' || name.find('\0') != std::string::npos)
        throw refused;
    std::string::size_type start = 0;
    while (start <= name.size())
    {
        std::string::size_type end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        if (name.compare(start, end - start, "..") == 0)
            throw refused;
        start = end + 1;
    }
    const fs::path relative = fs::path(name).lexically_normal();
    if (relative.empty() || relative == "." || relative.is_absolute())
        throw refused;
    return folder / relative;
}

void WriteEntryFile(const fs::path& path, const std::vector<unsigned char>& bytes)
{
    FILE* file = OpenFile(path.string().c_str(), "wb");
    if (!file)
        throw std::runtime_error("File could not be opened.");
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    // A full disk may show only when the buffered bytes go out at closing.
    if (std::fclose(file) != 0 || !written)
        throw std::runtime_error("File could not be written.");
}

fs::path FolderOf(const Atlas& atlas)
{
    fs::path path(atlas.GetPath());
    if (path.filename() == "." || path.filename().empty())
        path = path.parent_path();
    return path;
}

// Clears the place of the package. A folder there is somebody's (a package is a file), so it is left as it
// is, and so is anything the file system will not let go; either way the message names the place.
void RemoveStalePackage(const std::string& path)
{
    const std::string cannot = (boost::format("Unable to remove file at %1%") % path).str();
    boost::system::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (!fs::exists(status))
        return;
    if (fs::is_directory(status))
        throw std::runtime_error(cannot + ": a folder is in its place.");
    if (!fs::remove(path, error) || error)
        throw std::runtime_error(cannot);
}

} // namespace

AtlasInstaller::AtlasInstaller(const AtlasDownloadInfo& info, AtlasInstallerListener* listener,
                               std::shared_ptr<TaskProgress> progress)
    : m_listener(listener)
    , m_progress(std::move(progress))
    , m_info(info)
    , m_expected(info.size)
{
}

AtlasInstaller::~AtlasInstaller()
{
    if (m_transfer)
        Abort();
}

void AtlasInstaller::Download()
{
    const fs::path downloads = BaseFolder() / DOWNLOAD_DIR;
    EnsureDirectory(downloads);
    if (!IsPlainFolderName(m_info.name))
        throw std::runtime_error("Invalid atlas name: " + m_info.name);
    m_packagePath = (downloads / (boost::format("%1% %2%.zip") % m_info.name % m_info.version).str()).string();
    RemoveStalePackage(m_packagePath);
    if (m_progress)
        m_progress->SetNumSteps(100);
    try
    {
        m_packageFile.Open(m_packagePath.c_str(), std::ios::out | std::ios::binary | std::ios::trunc);
        m_transfer = NetFile::Create(m_info.url, this, false);
    }
    catch (...)
    {
        if (m_transfer)
            m_transfer->Abort();
        m_transfer = nullptr;
        ClosePackage();
        RemovePackage();
        throw;
    }
}

void AtlasInstaller::ResponseReceived(const std::string&, unsigned long) {}

void AtlasInstaller::DataReceived(const void* data, unsigned long size)
{
    try
    {
        if (size > 0xFFFFFFFFul)
            throw std::runtime_error(WRITE_FAILED);
        m_packageFile.Write(data, static_cast<unsigned int>(size));
        m_received += static_cast<unsigned int>(size);
        if (m_progress)
        {
            // A package announced with no size is done as soon as it starts; the progress clamps it.
            const float fraction =
                m_expected != 0 ? static_cast<float>(m_received) / static_cast<float>(m_expected) : 2.0f;
            m_progress->SetProgress(fraction * 100.0f * 0.5f);
        }
    }
    catch (...)
    {
        Abort();
        if (m_listener)
            m_listener->AtlasDownloadError(this, WRITE_FAILED);
    }
}

void AtlasInstaller::DownloadComplete(const void*, unsigned long)
{
    m_transfer = nullptr;
    ClosePackage();
    if (m_listener)
        m_listener->AtlasDownloadComplete(this);
}

void AtlasInstaller::DownloadFailed(const std::string& message)
{
    m_transfer = nullptr;
    ClosePackage();
    RemovePackage();
    if (m_listener)
        m_listener->AtlasDownloadError(this, message);
}

void AtlasInstaller::Abort()
{
    if (m_transfer)
        m_transfer->Abort();
    m_transfer = nullptr;
    ClosePackage();
    RemovePackage();
}

void AtlasInstaller::ClosePackage()
{
    m_packageFile.Close();
}

void AtlasInstaller::RemovePackage()
{
    if (m_packagePath.empty())
        return;
    boost::system::error_code ignored;
    fs::remove(m_packagePath, ignored);
}

void AtlasInstaller::Unpack()
{
    const fs::path folder = BaseFolder() / DOWNLOAD_DIR / m_info.name;
    if (!IsPlainFolderName(m_info.name))
        throw std::runtime_error("Invalid atlas name: " + m_info.name);
    if (Exists(folder))
        fs::remove_all(folder);
    fs::create_directories(folder);
    try
    {
        ExtractPackage(folder);
        InstallUnpacked(folder);
    }
    catch (...)
    {
        // A failure here replaces the first one.
        fs::remove_all(folder);
        throw;
    }
    // The atlas is installed: a package left behind is only clutter.
    RemovePackage();
}

void AtlasInstaller::ExtractPackage(const fs::path& folder)
{
    FileStream package(m_packagePath.c_str(), std::ios::in | std::ios::binary);
    ZipReader reader(&package);
    const std::vector<ZipReader::ZipItem>& entries = reader.GetDirectory();

    // Every entry is checked before the first file is written.
    std::vector<fs::path> targets;
    std::set<fs::path> folders;
    for (const ZipReader::ZipItem& item : entries)
    {
        targets.push_back(EntryPath(folder, item.name));
        // Sizes are taken from the archive: they must fit the bytes that are there before a buffer is made.
        if (!reader.SizesPossible(item))
            throw std::runtime_error("Invalid zip stream");
        const fs::path parent = targets.back().parent_path();
        if (!parent.empty())
            folders.insert(parent);
    }
    for (const fs::path& parent : folders)
        EnsureDirectory(parent);

    const std::size_t count = entries.size();
    unsigned int sinceReport = 0;
    for (std::size_t index = 0; index < count; ++index)
    {
        std::vector<unsigned char> bytes(entries[index].uncompressedSize);
        reader.Read(&entries[index], bytes.data());
        WriteEntryFile(targets[index], bytes);
        if (sinceReport >= ENTRIES_PER_REPORT && m_progress)
        {
            if (m_progress->ShouldCancel())
                throw UserCancelledOperationException();
            m_progress->SetProgress(static_cast<float>(index) / static_cast<float>(count) * 100.0f * 0.5f);
            sinceReport = 0;
        }
        ++sinceReport;
    }
    package.Close();
}

void AtlasInstaller::InstallUnpacked(const fs::path& folder)
{
    unsigned int id = 0;
    {
        Atlas atlas(folder.string());
        // A half-built atlas must not replace the working one.
        if (!atlas.InstallAtlas(nullptr))
            throw std::runtime_error("The atlas " + m_info.name + " could not be installed.");
        id = atlas.GetAtlasId();
    }

    const fs::path base = BaseFolder();
    const fs::path previous = base / PREVIOUS_VERSIONS_DIR;
    const bool hadPrevious = Exists(previous);
    fs::path movedFrom;
    fs::path movedTo;
    AtlasSet::GetAtlases();
    if (const std::shared_ptr<Atlas> installed = AtlasSet::GetAtlasWithId(id))
    {
        movedFrom = FolderOf(*installed);
        const std::string& name = installed->GetName();
        movedTo = previous / (IsPlainFolderName(name) ? name : movedFrom.filename().string());
        fs::create_directories(previous);
        if (Exists(movedTo))
            fs::remove_all(movedTo);
        fs::rename(movedFrom, movedTo);
    }
    try
    {
        fs::create_directories(base / ATLASES_DIR);
        fs::rename(folder, base / ATLASES_DIR / m_info.name);
    }
    catch (...)
    {
        if (!movedFrom.empty())
        {
            boost::system::error_code ignored;
            fs::rename(movedTo, movedFrom, ignored);
            if (!hadPrevious)
                fs::remove(previous, ignored);
        }
        throw;
    }
}
