#include "core/OSRelease.h"

#include <sys/utsname.h>

#include <fstream>

namespace
{

// Keeps printable ASCII other than the characters that would end or nest a User-Agent comment.
std::string SafeForUserAgent(const std::string& text)
{
    std::string safe;
    for (const char c : text)
    {
        if (c > 0x20 && c < 0x7f && c != '(' && c != ')' && c != '\\')
            safe += c;
        else if (c == ' ' && !safe.empty() && safe.back() != ' ')
            safe += c;
    }
    while (!safe.empty() && safe.back() == ' ')
        safe.pop_back();
    return safe;
}

std::string Unquote(std::string value)
{
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t'))
        value.pop_back();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    std::string plain;
    for (std::size_t i = 0; i < value.size(); ++i)
    {
        if (value[i] == '\\' && i + 1 < value.size())
            ++i;
        plain += value[i];
    }
    return plain;
}

} // namespace

std::string ReadOSReleaseVersion(const std::string& path)
{
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line))
    {
        static const std::string key = "VERSION_ID=";
        if (line.compare(0, key.size(), key) == 0)
            return SafeForUserAgent(Unquote(line.substr(key.size())));
    }
    return std::string();
}

std::string GetOSVersion()
{
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"})
    {
        const std::string version = ReadOSReleaseVersion(path);
        if (!version.empty())
            return version;
    }
    // Rolling distributions carry no VERSION_ID; the kernel release still tells a server something.
    utsname names{};
    if (uname(&names) == 0)
        return SafeForUserAgent(names.release);
    return std::string();
}
