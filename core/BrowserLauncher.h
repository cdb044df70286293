#pragma once

#include <string>

// Opens a URL in the user's web browser. Receives text that OSUtils::OpenBrowser has already
// percent-escaped; answers whether the platform accepted the request.
class BrowserLauncher
{
public:
    virtual ~BrowserLauncher() = default;
    virtual bool OpenUrl(const std::string& escapedUrl) = 0;
};
