#pragma once

// The demo data server for the end-to-end tests: started once per test program over tiny generated
// atlases, on a free loopback port (the first line it prints), with a request log. The program side loads
// copies of the atlases generated for that port. Stopped by its process id when the program ends (and by
// the kernel if the program dies first).

#include "GeneratedAtlases.h"
#include "core/OSUtils.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

struct LoggedRequest
{
    std::string path;
    std::string query;  // as sent, percent-escapes and all
    int connection = 0; // the server's number of the connection it came on, from 1
};

class DemoServer
{
public:
    static constexpr unsigned int ATLAS_IDS[] = {310, 350, 351, 378, 50000};

    // The running server, or null when this build has no generator, Python or server script.
    static DemoServer* Get()
    {
#if defined(CORVANE_ATLASGEN) && defined(CORVANE_PYTHON) && defined(CORVANE_DEMO_SERVER)
        static const std::unique_ptr<DemoServer> server(new DemoServer());
        return server.get();
#else
        return nullptr;
#endif
    }

    ~DemoServer()
    {
        if (m_pid > 0)
        {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_output >= 0)
            close(m_output);
    }
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    const std::string& Base() const
    {
        return m_base;
    }
    // The folder whose "Atlases" holds the program's copies (the UserAtlasPath setting).
    std::string ProgramRoot() const
    {
        return m_dir.File("program");
    }
    std::string ProgramAtlas(unsigned int id) const
    {
        return ProgramRoot() + "/Atlases/" + std::to_string(id);
    }

    std::vector<LoggedRequest> Log() const
    {
        std::vector<LoggedRequest> requests;
        std::istringstream lines(OSUtils::FileExists(m_log.c_str()) ? ReadBytes(m_log) : std::string());
        for (std::string line; std::getline(lines, line);)
            requests.push_back({JsonField(line, "path"), JsonField(line, "query"), JsonNumber(line, "connection")});
        return requests;
    }

private:
    DemoServer()
    {
        const std::string served = m_dir.File("served");
        RunShell(Generate(served, ""));
        m_log = m_dir.File("requests.log");
        Start(served);
        m_base = "http://127.0.0.1:" + std::to_string(m_port);
        RunShell(Generate(ProgramRoot() + "/Atlases", m_base));
    }

    static std::string Generate(const std::string& folder, const std::string& baseUrl)
    {
        std::string command;
        for (const unsigned int id : ATLAS_IDS)
            command += AtlasCommand("tiny", id, folder + "/" + std::to_string(id), baseUrl) + " & ";
        command += "wait";
        for (const unsigned int id : ATLAS_IDS)
            command += " && test -f '" + folder + "/" + std::to_string(id) + "/Info.xml'";
        return command;
    }

    void Start(const std::string& served)
    {
#if defined(CORVANE_PYTHON) && defined(CORVANE_DEMO_SERVER)
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0)
            throw std::runtime_error("no pipe for the demo server");
        m_pid = fork();
        if (m_pid == 0)
        {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            dup2(pipeEnds[1], STDOUT_FILENO);
            close(pipeEnds[0]);
            close(pipeEnds[1]);
            execl(CORVANE_PYTHON, CORVANE_PYTHON, CORVANE_DEMO_SERVER, "--atlases", served.c_str(), "--port", "0",
                  "--log", m_log.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(pipeEnds[1]);
        m_output = pipeEnds[0];
        if (m_pid < 0)
            throw std::runtime_error("the demo server could not be started");
        // The pipe stays open: the server goes on printing after its port.
        std::string line;
        char c = 0;
        pollfd wait = {m_output, POLLIN, 0};
        while (poll(&wait, 1, 60000) > 0 && read(m_output, &c, 1) == 1 && c != '\n')
            line += c;
        m_port = std::atoi(line.c_str());
        if (m_port <= 0)
            throw std::runtime_error("the demo server gave no port: " + line);
#else
        (void)served;
#endif
    }

    // The text of a string field of one JSON line as the server writes it.
    static std::string JsonField(const std::string& line, const std::string& name)
    {
        const std::string key = "\"" + name + "\": \"";
        std::size_t at = line.find(key);
        std::string value;
        if (at == std::string::npos)
            return value;
        for (at += key.size(); at < line.size() && line[at] != '"'; ++at)
        {
            if (line[at] == '\\' && at + 1 < line.size())
                ++at;
            value += line[at];
        }
        return value;
    }

    static int JsonNumber(const std::string& line, const std::string& name)
    {
        const std::string key = "\"" + name + "\": ";
        const std::size_t at = line.find(key);
        return at == std::string::npos ? 0 : std::atoi(line.c_str() + at + key.size());
    }

    TempDir m_dir;
    std::string m_log;
    std::string m_base;
    int m_port = 0;
    pid_t m_pid = -1;
    int m_output = -1;
};
