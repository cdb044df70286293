#include "core/OSUtils.h"

#include "core/Alerts.h"
#include "core/BrowserLauncher.h"
#include "core/PlatformHooks.h"

#include <boost/filesystem/operations.hpp>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <thread>

namespace fs = boost::filesystem;

namespace
{

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Characters that never stand bare in a URL; the delimiters (":/?#[]@!$&'()*+,;=") stay as they are.
bool NeedsEscape(unsigned char c)
{
    if (c <= 0x20 || c >= 0x7f)
        return true;
    switch (c)
    {
    case '"':
    case '<':
    case '>':
    case '\\':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}':
        return true;
    default:
        return false;
    }
}

// Across file systems rename cannot work; a move then copies and removes the source.
bool CopyThenRemove(const fs::path& from, const fs::path& to)
{
    boost::system::error_code ec;
    if (fs::is_directory(fs::symlink_status(from, ec)))
        fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    else
        fs::copy(from, to, fs::copy_options::copy_symlinks, ec);
    if (ec)
    {
        fs::remove_all(to, ec);
        return false;
    }
    fs::remove_all(from, ec);
    return !ec;
}

} // namespace

void OSUtils::OSSleep(unsigned int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool OSUtils::DeleteFile(const char* path)
{
    if (!path || !*path)
        return false;
    boost::system::error_code ec;
    const auto removed = fs::remove_all(path, ec);
    return !ec && removed > 0;
}

bool OSUtils::MoveFile(const char* from, const char* to)
{
    if (!from || !to || !*from || !*to)
        return false;
    // RENAME_NOREPLACE keeps the "fails when the target exists" rule free of a check-then-rename race.
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EXDEV)
    {
        boost::system::error_code ec;
        if (fs::exists(fs::symlink_status(to, ec)))
            return false;
        return CopyThenRemove(from, to);
    }
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // The file system cannot do an exclusive rename.
    boost::system::error_code ec;
    if (fs::exists(fs::symlink_status(to, ec)) || ec.value() == EACCES)
        return false;
    return std::rename(from, to) == 0;
}

bool OSUtils::FileExists(const char* path)
{
    if (!path || !*path)
        return false;
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    // A folder opens for reading on Linux, yet no file can be read from it; O_NONBLOCK keeps a named pipe
    // from blocking the open.
    struct stat info
    {};
    const bool readable = fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
    close(fd);
    return readable;
}

double OSUtils::GetTime()
{
    timespec now{};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0)
        return 0.0;
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec / 1000) * 1e-6;
}

bool OSUtils::OpenBrowser(const char* url)
{
    if (!url)
        return false;
    const std::string escaped = EscapeURL(url);
    if (PlatformHooks::GetBrowserLauncher().OpenUrl(escaped))
        return true;
    // Callers go on as if the page had opened: the user is the one to hear that it did not, and gets the
    // address to open it by hand.
    ShowAlertBox(BrowserFailureMessage(escaped));
    return false;
}

std::string OSUtils::BrowserFailureMessage(const std::string& url)
{
    return "The web browser could not be opened to show this page. You can copy its address into a "
           "browser yourself:\n\n" +
           url;
}

bool OSUtils::OpenBrowser(const std::string& url)
{
    return OpenBrowser(url.c_str());
}

std::string OSUtils::EscapeURL(const std::string& url)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(url.size());
    for (std::size_t i = 0; i < url.size(); ++i)
    {
        const unsigned char c = static_cast<unsigned char>(url[i]);
        const bool keptEscape = c == '%' && i + 2 < url.size() && IsHexDigit(url[i + 1]) && IsHexDigit(url[i + 2]);
        if (NeedsEscape(c) || (c == '%' && !keptEscape))
        {
            escaped += '%';
            escaped += hex[c >> 4];
            escaped += hex[c & 15];
        }
        else
            escaped += static_cast<char>(c);
    }
    return escaped;
}
