// A page of ten thumbnails as the thumbnail browser fetches it, against the demo server over the loopback:
// the page's search, then its ten thumbnail data sets at once, all through NetFile on the program's Qt
// transport. Each round shows two pages: the first on a new transport (nothing to reuse yet, as after
// start-up) and the next on the same one. Reported per page: the connections the server saw opened for it
// (from the connection numbers of its request log) and the median wall time from the search's start to the
// tenth thumbnail's end.
//
// Loopback costs a connection little: no round trip and no TLS, so the times here are a floor; against a
// remote HTTPS server each new connection adds a TCP and a TLS handshake.
//
// Arguments: [rounds]. Runs without a display.

#include "BenchSupport.h"

#include "core/MemoryDefaultsStore.h"
#include "core/NetEventListener.h"
#include "core/NetFile.h"
#include "core/PlatformHooks.h"
#include "core/UserPreferences.h"
#include "platform/QtNetTransport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

constexpr int kPageSize = 10;

// The demo server on a free port with a request log; stopped when it goes.
class Server
{
public:
    Server(const std::string& atlases, const std::string& log)
    {
        int fds[2];
        if (pipe(fds) != 0)
            throw std::runtime_error("pipe failed");
        pid = fork();
        if (pid == 0)
        {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            execl(CORVANE_PYTHON, CORVANE_PYTHON, CORVANE_DEMO_SERVER, "--atlases", atlases.c_str(), "--port", "0",
                  "--log", log.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        output = fds[0];
        std::string line;
        char c = 0;
        pollfd wait = {output, POLLIN, 0};
        while (poll(&wait, 1, 60000) > 0 && read(output, &c, 1) == 1 && c != '\n')
            line += c;
        port = std::atoi(line.c_str());
        if (port <= 0)
            throw std::runtime_error("the demo server gave no port");
    }
    ~Server()
    {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        close(output);
    }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(port); }

private:
    pid_t pid = -1;
    int output = -1;
    int port = 0;
};

class Collector : public NetEventListener
{
public:
    explicit Collector(std::function<void(const std::string&)> done)
        : done(std::move(done))
    {
    }
    void DownloadComplete(const void* data, unsigned long size) override
    {
        done(std::string(static_cast<const char*>(data), size));
    }
    void DownloadFailed(const std::string& message) override
    {
        std::fprintf(stderr, "transfer failed: %s\n", message.c_str());
        done(std::string());
    }
    void ResponseReceived(const std::string&, unsigned long) override {}
    void DataReceived(const void*, unsigned long) override {}

private:
    std::function<void(const std::string&)> done;
};

void RunUntil(const std::function<bool()>& finished)
{
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (finished() || clock.elapsed() > 60000)
            loop.quit();
    });
    poll.start(1);
    loop.exec();
    if (!finished())
        throw std::runtime_error("a page did not arrive within a minute");
}

// Fetches one page as the browser does: the search, then the ten thumbnails together. Seconds.
double FetchPage(const std::string& base, int page)
{
    const auto start = std::chrono::steady_clock::now();
    std::string answer;
    bool searched = false;
    Collector search([&](const std::string& body) {
        answer = body;
        searched = true;
    });
    NetFile::Create(base + "/search/0310/gene?start=" + std::to_string(page * kPageSize) +
                        "&num=" + std::to_string(kPageSize) + "&term=",
                    &search, true);
    RunUntil([&] { return searched; });

    static const std::regex seriesId("<image-series>\\s*<id>([0-9]+)</id>");
    std::vector<std::unique_ptr<Collector>> thumbnails;
    int arrived = 0;
    for (std::sregex_iterator it(answer.begin(), answer.end(), seriesId), end; it != end; ++it)
    {
        thumbnails.push_back(std::make_unique<Collector>([&](const std::string&) { ++arrived; }));
        NetFile::Create(base + "/grid/0310/" + (*it)[1].str() + "/thumbnail", thumbnails.back().get(), true);
    }
    if (thumbnails.size() != kPageSize)
        throw std::runtime_error("the search answered " + std::to_string(thumbnails.size()) + " results");
    RunUntil([&] { return arrived == kPageSize; });
    return SecondsSince(start);
}

// Connection numbers of the log's lines from line `from` on; `from` moves past them.
std::set<int> ConnectionsSince(const std::string& log, std::size_t& from)
{
    std::ifstream stream(log);
    std::set<int> numbers;
    std::size_t index = 0;
    for (std::string line; std::getline(stream, line); ++index)
    {
        if (index < from)
            continue;
        const std::size_t at = line.find("\"connection\": ");
        numbers.insert(at == std::string::npos ? 0 : std::atoi(line.c_str() + at + 14));
    }
    from = index;
    return numbers;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    QCoreApplication application(argc, argv);
    const fs::path root = fs::temp_directory_path() / ("corvane-bench-connections-" + std::to_string(getpid()));
    fs::create_directories(root);
    const std::string atlases = (root / "atlases").string();
    const std::string log = (root / "requests.log").string();
    const std::string generate =
        std::string("'") + CORVANE_ATLASGEN + "' --profile tiny --id 310 --out '" + atlases + "/310' > /dev/null";
    if (std::system(generate.c_str()) != 0)
    {
        std::fprintf(stderr, "could not generate the atlas under %s\n", atlases.c_str());
        return 1;
    }
    int status = 0;
    try
    {
        Server server(atlases, log);
        MemoryDefaultsStore store;
        PlatformHooks::SetDefaultsStore(&store);
        UserPreferences::ResetPreferences();

        std::vector<double> firstTimes, nextTimes;
        std::vector<double> firstOpened, nextOpened;
        std::set<int> seen;
        std::size_t logLine = 0;
        const auto opened = [&] {
            int count = 0;
            for (const int number : ConnectionsSince(log, logLine))
                count += seen.insert(number).second ? 1 : 0;
            return static_cast<double>(count);
        };
        for (int round = -1; round < rounds; ++round) // round -1 warms the server's caches, unreported
        {
            auto transport = std::make_unique<QtNetTransport>();
            PlatformHooks::SetNetTransport(transport.get());
            const double first = FetchPage(server.Base(), 0);
            const double firstCount = opened();
            const double next = FetchPage(server.Base(), 1);
            const double nextCount = opened();
            PlatformHooks::SetNetTransport(nullptr);
            transport.reset();
            if (round < 0)
                continue;
            firstTimes.push_back(first);
            nextTimes.push_back(next);
            firstOpened.push_back(firstCount);
            nextOpened.push_back(nextCount);
        }
        std::printf("page of %d thumbnails (search + %d GETs), %d rounds, medians, load %s\n", kPageSize, kPageSize,
                    rounds, LoadAverage().c_str());
        std::printf("  first page, new transport:  %5.1f connections opened  %7.2f ms\n", Median(firstOpened),
                    1000.0 * Median(firstTimes));
        std::printf("  next page, same transport:  %5.1f connections opened  %7.2f ms\n", Median(nextOpened),
                    1000.0 * Median(nextTimes));
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "%s\n", error.what());
        status = 1;
    }
    PlatformHooks::SetDefaultsStore(nullptr);
    fs::remove_all(root);
    return status;
}
