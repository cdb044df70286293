// The program's start-up as a user waits for it: the real corvane of this build, started under X (Xvfb),
// timed from just before the process starts to the first frame its GL view puts on screen, once with the
// demo atlas 310 alone and once with a data set of the demo server named on the command line. The program
// reports its milestones when CORVANE_FRAME_LOG is set (entering main, starting the event loop, frames on
// screen with the number of data sets loaded), so the time splits into: loading the process, setting up
// the document and its window, the first frame, and fetching, decoding and drawing the data set.
//
// Each run has a home of its own with the atlas installed (demo profile), so nothing is cached between
// runs but what the atlas folder itself caches (view grids made on first use), which the first, unreported
// run fills. Medians over the runs; the goal is under 2 s to the data set's frame.
//
// Arguments: [runs]. Needs a display: xvfb-run -a -s "-screen 0 1280x1024x24" build-bench/bench/bench_startup

#include "BenchSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{
using Clock = std::chrono::steady_clock;

long long Now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string Output(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    char buffer[4096];
    for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, count);
    if (pclose(pipe) != 0)
        throw std::runtime_error("failed: " + command);
    return output;
}

// A child process whose stdout or stderr is read line by line; killed and reaped when it goes.
class Child
{
public:
    Child(const std::vector<std::string>& arguments, const std::map<std::string, std::string>& environment,
          bool readStderr)
    {
        int fds[2];
        if (pipe(fds) != 0)
            throw std::runtime_error("pipe failed");
        m_pid = fork();
        if (m_pid == 0)
        {
            for (const auto& [key, value] : environment)
                setenv(key.c_str(), value.c_str(), 1);
            dup2(fds[1], readStderr ? 2 : 1);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, readStderr ? 1 : 2);
            close(fds[0]);
            std::vector<char*> argv;
            for (const std::string& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        m_fd = fds[0];
        if (m_pid < 0)
            throw std::runtime_error("fork failed");
    }
    ~Child()
    {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        close(m_fd);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The next line, or false when the process closed its end or the time ran out.
    bool ReadLine(std::string& line, double seconds)
    {
        const long long end = Now() + static_cast<long long>(seconds * 1e9);
        for (;;)
        {
            const std::size_t newline = m_buffer.find('\n');
            if (newline != std::string::npos)
            {
                line = m_buffer.substr(0, newline);
                m_buffer.erase(0, newline + 1);
                return true;
            }
            const long long left = (end - Now()) / 1000000;
            pollfd fd{m_fd, POLLIN, 0};
            if (left <= 0 || poll(&fd, 1, static_cast<int>(left)) <= 0)
                return false;
            char chunk[4096];
            const ssize_t count = read(m_fd, chunk, sizeof chunk);
            if (count <= 0)
                return false;
            m_buffer.append(chunk, static_cast<std::size_t>(count));
        }
    }

private:
    pid_t m_pid = -1;
    int m_fd = -1;
    std::string m_buffer;
};

// Milliseconds from the start to each milestone of one run of the program.
struct Run
{
    double main = 0;
    double launched = 0;
    double frame = 0;
    double dataFrame = 0;
};

class StartupBench
{
public:
    StartupBench()
        : m_root(fs::temp_directory_path() / ("corvane-startup-" + std::to_string(getpid())))
    {
        fs::create_directories(m_root / "atlases");
        Output(Quote(CORVANE_ATLASGEN) + " --profile demo --id 310 --out " + Quote((m_root / "atlases/310").string()) +
               " > /dev/null");
        m_server = std::make_unique<Child>(std::vector<std::string>{CORVANE_PYTHON, CORVANE_DEMO_SERVER, "--atlases",
                                                                    (m_root / "atlases").string(), "--port", "0"},
                                           std::map<std::string, std::string>{}, false);
        std::string port;
        if (!m_server->ReadLine(port, 60) || std::atoi(port.c_str()) <= 0)
            throw std::runtime_error("the demo server did not start");
        m_base = "http://127.0.0.1:" + std::to_string(std::atoi(port.c_str()));
        const std::string answer = Output(std::string(CORVANE_PYTHON) +
                                          " -c 'import sys, urllib.request; sys.stdout.write(urllib.request.urlopen("
                                          "sys.argv[1]).read().decode())' " +
                                          Quote(m_base + "/search/0310/gene?start=0&num=1&term="));
        std::smatch series;
        if (!std::regex_search(answer, series, std::regex("<image-series>\\s*<image-series>\\s*<id>(\\d+)</id>")))
            throw std::runtime_error("no data set in the demo server's search answer");
        m_dataSet = series[1];
    }

    ~StartupBench()
    {
        m_server.reset();
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    std::string DataSetUrl() const
    {
        return "corv://" + m_base.substr(std::strlen("http://")) + "/demo/data?atlas=310&datasets=" + m_dataSet;
    }

    // One start of the program in a fresh home with the atlas installed; withData names the data set.
    Run Start(int index, bool withData)
    {
        const fs::path home = m_root / ("home" + std::to_string(index));
        for (const char* sub : {"home", "config/Corvane", "cache", "runtime", "data/Corvane 2/Atlases"})
            fs::create_directories(home / sub);
        fs::permissions(home / "runtime", fs::perms::owner_all);
        fs::create_directory_symlink(m_root / "atlases/310", home / "data/Corvane 2/Atlases/310");
        std::ofstream(home / "config/Corvane/Corvane.ini") << "[General]\nHost=" << m_base << "\n";
        const std::map<std::string, std::string> environment{{"HOME", (home / "home").string()},
                                                             {"XDG_DATA_HOME", (home / "data").string()},
                                                             {"XDG_CONFIG_HOME", (home / "config").string()},
                                                             {"XDG_CACHE_HOME", (home / "cache").string()},
                                                             {"XDG_RUNTIME_DIR", (home / "runtime").string()},
                                                             {"CORVANE_FRAME_LOG", "1"}};
        std::vector<std::string> arguments{CORVANE_PROGRAM};
        if (withData)
            arguments.push_back(DataSetUrl());

        Run run;
        const long long start = Now();
        Child program(arguments, environment, true);
        auto since = [start](long long at) { return double(at - start) / 1e6; };
        for (std::string line; program.ReadLine(line, 60);)
        {
            char stage[32];
            long long at = 0;
            int dataSets = -1;
            if (std::sscanf(line.c_str(), "corvane-time %31s %lld %d", stage, &at, &dataSets) != 3)
                continue;
            if (std::strcmp(stage, "main") == 0)
                run.main = since(at);
            else if (std::strcmp(stage, "launched") == 0)
                run.launched = since(at);
            else if (std::strcmp(stage, "frame") == 0 && run.frame == 0)
                run.frame = since(at);
            if (std::strcmp(stage, "frame") == 0 && dataSets > 0)
                run.dataFrame = since(at);
            if (run.frame > 0 && (!withData || run.dataFrame > 0))
                return run;
        }
        throw std::runtime_error(withData ? "no frame with the data set within 60 s" : "no frame within 60 s");
    }

private:
    fs::path m_root;
    std::unique_ptr<Child> m_server;
    std::string m_base;
    std::string m_dataSet;
};

} // namespace

int main(int argc, char** argv)
{
    try
    {
        if (!std::getenv("DISPLAY"))
            throw std::runtime_error("needs a display: run it under xvfb-run");
        const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
        const std::string load = LoadAverage();
        StartupBench bench;
        // The first start makes the atlas's derived grids, which every later start finds.
        bench.Start(0, true);
        std::map<std::string, std::vector<double>> atlas, data;
        for (int i = 0; i < runs; ++i)
        {
            const Run a = bench.Start(2 * i + 1, false);
            const Run d = bench.Start(2 * i + 2, true);
            for (auto [name, value] :
                 {std::pair<const char*, double>{"main", a.main}, {"launched", a.launched}, {"frame", a.frame}})
                atlas[name].push_back(value);
            for (auto [name, value] : {std::pair<const char*, double>{"main", d.main},
                                       {"launched", d.launched},
                                       {"frame", d.frame},
                                       {"data", d.dataFrame}})
                data[name].push_back(value);
        }
        std::printf("corvane start-up under X, demo atlas 310, medians of %d runs (ms from the process start)\n", runs);
        std::printf("%-28s %9s %9s %9s %12s\n", "", "main", "loop", "1st frame", "data frame");
        std::printf("%-28s %9.0f %9.0f %9.0f %12s\n", "atlas alone", Median(atlas["main"]), Median(atlas["launched"]),
                    Median(atlas["frame"]), "-");
        std::printf("%-28s %9.0f %9.0f %9.0f %12.0f\n", "atlas + data set (corv URL)", Median(data["main"]),
                    Median(data["launched"]), Median(data["frame"]), Median(data["data"]));
        std::printf("main: the process loaded, in main; loop: document and window set up, event loop starting;\n"
                    "1st frame: the GL view's first frame on screen; data frame: the first frame with the data set\n");
        const double worst = std::max(Median(atlas["frame"]), Median(data["data"]));
        std::printf("goal: first frame, with or without the data set, under 2000 ms: %.0f ms, %s\n", worst,
                    worst < 2000 ? "met" : "NOT MET");
        std::printf("load average (1 and 5 minutes) at the start: %s, at the end: %s\n", load.c_str(),
                    LoadAverage().c_str());
        return 0;
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
