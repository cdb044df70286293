#pragma once

#include <string>

class AtlasInstaller;

// Hears how a package download ended, on the main thread; an aborted download reports nothing. The
// listener may delete the installer inside either call.
class AtlasInstallerListener
{
public:
    virtual ~AtlasInstallerListener() = default;
    virtual void AtlasDownloadComplete(const AtlasInstaller* installer) = 0;
    virtual void AtlasDownloadError(const AtlasInstaller* installer, const std::string& message) = 0;
};
