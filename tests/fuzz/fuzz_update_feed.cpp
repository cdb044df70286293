#include "app/Updater.h"
#include "core/AlertPresenter.h"
#include "core/BrowserLauncher.h"
#include "core/PlatformHooks.h"

#include "tests/fuzz/FuzzNetwork.h"

#include <cstdint>
#include <string>

namespace
{
FuzzNetwork* network = nullptr;

// Answers the offer of an update as byte 0 says, and opens no browser.
class Answers : public AlertPresenter, public BrowserLauncher
{
public:
    void ShowAlert(const std::string&) override {}
    bool ShowConfirmation(const std::string& message) override { return yes && !message.empty(); }
    bool OpenUrl(const std::string& url) override { return !url.empty(); }

    bool yes = false;
};
Answers* answers = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    network = new FuzzNetwork;
    answers = new Answers;
    PlatformHooks::SetAlertPresenter(answers);
    PlatformHooks::SetBrowserLauncher(answers);
    return 0;
}

// The update feed as the update check reads it, from the server. Byte 0 picks how the server answers
// (bits 0-3, FuzzReply) and whether the user takes the update offered (bit 4); the rest is the feed.
// Seeds: the demo server's feed, damaged ones and feeds of several items.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    answers->yes = (data[0] & 0x10) != 0;
    Updater updater;
    updater.SetFeedURL("http://127.0.0.1:8470/Corvane2/mac-appcast.xml");
    if (updater.CheckForUpdates())
        network->Answer(data + 1, size - 1, "application/rss+xml", FuzzReply::FromBits(data[0]));
    return 0;
}
