#pragma once

#include "atlas/AtlasDownloadInfo.h"
#include "core/FileStream.h"
#include "core/NetEventListener.h"

#include <boost/filesystem/path.hpp>

#include <memory>
#include <string>

class AtlasInstallerListener;
class NetFile;
class TaskProgress;

// Installs one catalogue entry in two steps. Download (main thread) stores the package as
// "<base>/Download/<name> <version>.zip"; Unpack (a worker thread, once no document is open) unpacks it into
// "<base>/Download/<name>", runs the atlas's installation step, moves an installed atlas of the same id to
// "<base>/PreviousAtlasVersions" and the new one to "<base>/Atlases/<name>". base is the user atlas folder.
//
// An install that fails leaves the installed atlases as they were, and no archive entry is written
// outside the unpack folder. The progress object may be shared by the installers of one run; each stage
// of it runs from 0 to 50 for a download and again for an unpack.
class AtlasInstaller : public NetEventListener
{
public:
    // Nothing starts yet. listener and progress may be null.
    AtlasInstaller(const AtlasDownloadInfo& info, AtlasInstallerListener* listener,
                   std::shared_ptr<TaskProgress> progress);
    // Aborts a running download and removes its package: an unfinished one is of no use, and would stay.
    ~AtlasInstaller() override;

    AtlasInstaller(const AtlasInstaller&) = delete;
    AtlasInstaller& operator=(const AtlasInstaller&) = delete;

    void DownloadComplete(const void* data, unsigned long size) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override;
    void DataReceived(const void* data, unsigned long size) override;

    virtual const std::string& GetName() const { return m_info.name; }
    // Starts the download; the listener hears how it ends. Throws std::runtime_error when the package
    // cannot be stored ("Unable to remove file at <path>", with ": a folder is in its place." when one is,
    // which stays; the file stream's message) or the transfer not started ("Could not open connection."),
    // after removing what it began.
    virtual void Download();
    // Installs the downloaded package. Throws UserCancelledOperationException when the progress is
    // cancelled, boost::filesystem::filesystem_error when a folder cannot be made, moved or removed, and
    // std::runtime_error for a bad package or an atlas that cannot be installed; the unpack folder is gone
    // afterwards either way.
    virtual void Unpack();
    // Stops a running download and removes the package; the listener hears nothing.
    virtual void Abort();

    static const char* const DOWNLOAD_DIR;

private:
    void ClosePackage();
    void RemovePackage();
    // Unpack's steps, each throwing on failure.
    void ExtractPackage(const boost::filesystem::path& folder);
    void InstallUnpacked(const boost::filesystem::path& folder);

    NetFile* m_transfer = nullptr;
    AtlasInstallerListener* m_listener;
    std::shared_ptr<TaskProgress> m_progress;
    AtlasDownloadInfo m_info;
    std::string m_packagePath;
    FileStream m_packageFile;
    unsigned int m_received = 0;
    unsigned int m_expected;
};
