#pragma once

#include "core/BrowserLauncher.h"

// Opens URLs with QDesktopServices, which hands them to the desktop's default browser.
class QtBrowserLauncher : public BrowserLauncher
{
public:
    bool OpenUrl(const std::string& escapedUrl) override;
};
