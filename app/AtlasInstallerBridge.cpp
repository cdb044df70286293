#include "app/AtlasInstallerBridge.h"

#include "app/AtlasDownloadController.h"

AtlasInstallerBridge::AtlasInstallerBridge(AtlasDownloadController* controller)
    : m_controller(controller)
{
}

void AtlasInstallerBridge::AtlasesAvailableQueryComplete(const AtlasesAvailableQuery*)
{
    m_controller->QueryDone();
}

void AtlasInstallerBridge::AtlasesAvailableQueryError(const AtlasesAvailableQuery*, const std::string& message)
{
    m_controller->QueryError(message);
}

void AtlasInstallerBridge::AtlasDownloadComplete(const AtlasInstaller*)
{
    m_controller->DownloadDone();
}

void AtlasInstallerBridge::AtlasDownloadError(const AtlasInstaller*, const std::string& message)
{
    m_controller->InstallFailed(message);
}
