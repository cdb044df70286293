#pragma once

#include "atlas/AtlasInstallerListener.h"
#include "atlas/AtlasesAvailableQueryListener.h"

class AtlasDownloadController;

// Turns the catalogue query's and the installers' reports into calls of the download window's controller,
// which it does not own.
class AtlasInstallerBridge : public AtlasesAvailableQueryListener, public AtlasInstallerListener
{
public:
    explicit AtlasInstallerBridge(AtlasDownloadController* controller);

    void AtlasesAvailableQueryComplete(const AtlasesAvailableQuery* query) override;
    void AtlasesAvailableQueryError(const AtlasesAvailableQuery* query, const std::string& message) override;
    void AtlasDownloadComplete(const AtlasInstaller* installer) override;
    void AtlasDownloadError(const AtlasInstaller* installer, const std::string& message) override;

private:
    AtlasDownloadController* m_controller;
};
