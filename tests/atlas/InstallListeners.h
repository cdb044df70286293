#pragma once

// Listeners of the catalogue query and the installers that write down each call.

#include "atlas/AtlasInstallerListener.h"
#include "atlas/AtlasesAvailableQueryListener.h"

#include <string>
#include <vector>

class RecordingQueryListener : public AtlasesAvailableQueryListener
{
public:
    void AtlasesAvailableQueryComplete(const AtlasesAvailableQuery*) override { log.push_back("complete"); }
    void AtlasesAvailableQueryError(const AtlasesAvailableQuery*, const std::string& message) override
    {
        log.push_back("error " + message);
    }
    std::vector<std::string> log;
};

class RecordingInstallerListener : public AtlasInstallerListener
{
public:
    void AtlasDownloadComplete(const AtlasInstaller*) override { log.push_back("complete"); }
    void AtlasDownloadError(const AtlasInstaller*, const std::string& message) override
    {
        log.push_back("error " + message);
    }
    std::vector<std::string> log;
};
