#include "core/AlertPresenter.h"
#include "core/PlatformHooks.h"
#include "expression/SearchController.h"
#include "expression/UrlProtocolParser.h"

#include <cmath>
#include <cstdint>
#include <exception>
#include <string>

namespace
{
// Counts what the URL asks for, with as many downloads queued as the input says; each colour it hands
// over must be three finite numbers.
class CountingController : public SearchController
{
public:
    void SearchForGene(const char*, const char*, const char*, bool) override {}
    void SearchForGeneById(const char*, const char*, int) override {}
    void SearchForSimilarGenes(const char*, const char*, int) override {}
    void FetchExpressionData(const char* url, const float* rgb) override
    {
        if (!url)
            __builtin_trap();
        for (int k = 0; rgb && k < 3; ++k)
            if (!std::isfinite(rgb[k]))
                __builtin_trap();
        ++requested;
    }
    void FetchMicroarrayData(const char* url, unsigned int, unsigned int, unsigned int) override
    {
        if (!url)
            __builtin_trap();
        ++requested;
    }
    int GetNumQueuedExpressionDownloads() override { return queued; }

    int queued = 0;
    int requested = 0;
};

// The user's answer to "Continue?", picked by the input.
class Answering : public AlertPresenter
{
public:
    void ShowAlert(const std::string&) override {}
    bool ShowConfirmation(const std::string&) override { return answer; }
    bool answer = false;
};
} // namespace

// A URL of the program's scheme as a web page hands it over. Byte 0 picks the downloads already queued
// (low four bits) and the answer to the confirmation (bit 4). Seeds: the links of the demo server's
// pages.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    static Answering answering;
    PlatformHooks::SetAlertPresenter(&answering);
    answering.answer = (data[0] & 0x10) != 0;
    CountingController controller;
    controller.queued = data[0] & 0x0F;
    try
    {
        UrlProtocolParser parser(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
        parser.GetAtlasId();
        parser.GetColormap();
        parser.RequestData(&controller);
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
