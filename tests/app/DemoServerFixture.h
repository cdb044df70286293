#pragma once

// The demo data server over atlases made by the generator, and a user atlas folder pointed at it, for the
// tests that install atlases over the network.

#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <memory>
#include <stdexcept>
#include <string>

#include <signal.h>
#include <sys/prctl.h>

#include "TestSupport.h"
#include "atlas/AtlasFixture.h"
#include "atlas/AtlasSet.h"
#include "core/DefaultsStore.h"
#include "core/OSUtils.h"
#include "core/MemoryDefaultsStore.h"
#include "core/PlatformHooks.h"
#include "core/ResourcePath.h"
#include "core/UserPreferences.h"
#include "platform/EventLoopSupport.h"

// The served atlases: the adult mouse atlas of the tiny profile and two micro atlases, in catalogue order.
struct ServedAtlas
{
    unsigned int id;
    const char* profile;
    const char* name;
};
inline const ServedAtlas SERVED_ATLASES[] = {{310, "tiny", "Ostrel Adult Mouse"},
                                             {350, "micro", "Ostrel Developing Mouse"},
                                             {378, "micro", "Ostrel Mouse Connectivity"}};

// One server process for the whole test program, started on first use and ended at exit.
class DemoServer
{
public:
    static DemoServer& Get()
    {
        static DemoServer server;
        return server;
    }

    const std::string& Url() const { return m_url; }
    // The request log: one JSON line per request with its method, path, query and user agent.
    std::string Log() const { return OSUtils::FileExists(m_log.c_str()) ? ReadBytes(m_log) : std::string(); }
    const std::string& AtlasFolder(unsigned int id) const
    {
        static std::string path;
        path = m_atlases.File(std::to_string(id));
        return path;
    }

    ~DemoServer()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    DemoServer()
    {
        for (const ServedAtlas& atlas : SERVED_ATLASES)
            GenerateAtlas(atlas.profile, atlas.id, m_atlases.File(std::to_string(atlas.id)));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A test program that is killed (a time-out, a crash) takes its server with it.
        m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start(QStringLiteral(CORVANE_PYTHON),
                        {QStringLiteral(CORVANE_DEMO_SERVER), QStringLiteral("--atlases"),
                         QString::fromStdString(m_atlases.Path()), QStringLiteral("--port"), QStringLiteral("0"),
                         QStringLiteral("--log"), QString::fromStdString(m_log)});
        if (!m_process.waitForStarted(10000))
            throw std::runtime_error("the demo server did not start");
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(30000))
                throw std::runtime_error("the demo server named no port");
        const int port = QString::fromUtf8(m_process.readLine()).trimmed().toInt();
        m_url = "http://127.0.0.1:" + std::to_string(port);
    }

    TempDir m_atlases;
    TempDir m_logDir;
    std::string m_log = m_logDir.File("requests.log");
    QProcess m_process;
    std::string m_url;
};

// A user atlas folder and settings whose Host is the demo server (with a path prefix when asked).
class ServerAtlasRoot
{
public:
    explicit ServerAtlasRoot(const std::string& prefix = std::string())
        : m_previous(&PlatformHooks::GetDefaultsStore())
    {
        m_store.SetValue("UserAtlasPath", m_dir.Path());
        m_store.SetValue("Host", DemoServer::Get().Url() + prefix);
        PlatformHooks::SetDefaultsStore(&m_store);
        UserPreferences::ResetPreferences();
        ResourcePath::ClearCache();
        boost::filesystem::create_directories(Atlases());
        AtlasSet::GetAtlases()->Reload();
    }
    ~ServerAtlasRoot()
    {
        PlatformHooks::SetDefaultsStore(m_previous);
        UserPreferences::ResetPreferences();
        ResourcePath::ClearCache();
    }
    ServerAtlasRoot(const ServerAtlasRoot&) = delete;
    ServerAtlasRoot& operator=(const ServerAtlasRoot&) = delete;

    const std::string& Base() const { return m_dir.Path(); }
    std::string Atlases() const { return m_dir.Path() + "/Atlases"; }
    std::string Folder(const std::string& name) const { return Atlases() + "/" + name; }
    MemoryDefaultsStore& Store() { return m_store; }

    // Copies a served atlas into the atlas folder, optionally at a lower version, and rescans.
    void Install(unsigned int id, const std::string& folderName, bool older = false)
    {
        const std::string target = Folder(folderName);
        std::filesystem::copy(DemoServer::Get().AtlasFolder(id), target, std::filesystem::copy_options::recursive);
        if (older)
        {
            std::string info = ReadBytes(target + "/Info.xml");
            const std::string key = "\" version=\"";
            const std::string::size_type at = info.find(key) + key.size();
            info.replace(at, info.find('"', at) - at, "1");
            WriteBytes(target + "/Info.xml", info);
        }
        AtlasSet::GetAtlases()->Reload();
    }

private:
    DefaultsStore* m_previous;
    TempDir m_dir;
    MemoryDefaultsStore m_store;
};
