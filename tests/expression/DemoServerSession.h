#pragma once

// One test's program side of the demo server: the settings pointed at its generated atlases and the real Qt
// transport, on the application object of the GL test context. Tests stop it in TearDown, after their own
// objects have gone and before the hooks would point at nothing.

#include "DemoServer.h"
#include "atlas/AtlasSet.h"
#include "core/MemoryDefaultsStore.h"
#include "core/PlatformHooks.h"
#include "core/ResourcePath.h"
#include "core/UserPreferences.h"
#include "gl/support/GLTestContext.h"
#include "platform/EventLoopSupport.h"
#include "platform/QtNetTransport.h"

#include <exception>
#include <memory>
#include <string>

class DemoServerSession
{
public:
    DemoServerSession() = default;
    ~DemoServerSession() { Stop(); }
    DemoServerSession(const DemoServerSession&) = delete;
    DemoServerSession& operator=(const DemoServerSession&) = delete;

    // False, with the reason to skip, when this build has no demo server or no GL context can be made.
    // Settings put into the store before it count from the start.
    bool Start(std::string& reason)
    {
        server = DemoServer::Get();
        if (!server)
        {
            reason = "no generator, Python or demo server in this build";
            return false;
        }
        try
        {
            GLTestContext::Instance(); // the process's one application object
        }
        catch (const std::exception& error)
        {
            reason = error.what();
            return false;
        }
        store.SetValue("UserAtlasPath", server->ProgramRoot());
        PlatformHooks::SetDefaultsStore(&store);
        UserPreferences::ResetPreferences();
        ResourcePath::ClearCache();
        AtlasSet::GetAtlases()->Reload();
        transport = std::make_unique<QtNetTransport>();
        PlatformHooks::SetNetTransport(transport.get());
        return true;
    }

    // Lets answers in flight arrive before the transport goes.
    void Stop()
    {
        if (!transport || m_stopped)
            return;
        m_stopped = true;
        RunEventsFor(20);
        PlatformHooks::SetNetTransport(nullptr);
        UserPreferences::ResetPreferences();
        PlatformHooks::SetDefaultsStore(nullptr);
        ResourcePath::ClearCache();
    }

    DemoServer* server = nullptr;
    MemoryDefaultsStore store;
    std::unique_ptr<QtNetTransport> transport;

private:
    bool m_stopped = false;
};
