#pragma once

// Helpers of the tests that run the real corvane executable as a separate process and drive it from outside.

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include <sys/types.h>
#include <sys/wait.h>

// Polls a condition every 250 ms until it holds or the seconds have passed; the last poll comes at the end.
inline bool WaitFor(const std::function<bool()>& condition, int seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end)
    {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return condition();
}

// A text as one word of a shell command line.
inline std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The exit status of a child process once it ends within the seconds (128 + the signal's number when a signal
// ended it), else -1. A child that ended is reaped, so its id is no longer to be waited for or signalled.
inline int WaitForExit(pid_t child, int seconds)
{
    int status = -1;
    WaitFor(
        [&] {
            int raw = 0;
            if (waitpid(child, &raw, WNOHANG) != child)
                return false;
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            return true;
        },
        seconds);
    return status;
}
