#pragma once

// Helpers of the tests that run the real corvane executable as a separate process and drive it from outside.

#include <chrono>
#include <functional>
#include <string>
#include <thread>

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
