// corvane-atlasgen: writes a synthetic installed atlas.
//
//   corvane-atlasgen --profile micro|tiny|demo --id N --out DIR [--base-url URL] [--space-transform identity|tilted]

#include "AtlasContext.h"
#include "AtlasWriter.h"
#include "OutputFolder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

namespace
{

const char* const kUsage =
    "usage: corvane-atlasgen --profile micro|tiny|demo --id N --out DIR [--base-url URL]\n"
    "                        [--space-transform identity|tilted]\n"
    "Writes one complete installed atlas folder at DIR (default base URL http://127.0.0.1:8470).\n"
    "A tilted space transform turns and shifts every space in the scene (the default is the identity).\n";

struct Arguments
{
    std::string profile, out, baseUrl = "http://127.0.0.1:8470";
    unsigned long id = 0;
    bool hasId = false;
    bool tilted = false;
};

bool ParseId(const std::string& text, unsigned long& id)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 10)
        return false;
    id = std::strtoul(text.c_str(), nullptr, 10);
    return id > 0 && id <= 0xffffffffUL;
}

// Returns false (after a message) on bad arguments.
bool Parse(int argc, char** argv, Arguments& args)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h")
        {
            std::cout << kUsage;
            std::exit(0);
        }
        if (i + 1 >= argc)
        {
            std::cerr << "corvane-atlasgen: " << flag << " needs a value\n" << kUsage;
            return false;
        }
        const std::string value = argv[++i];
        if (flag == "--profile")
            args.profile = value;
        else if (flag == "--out")
            args.out = value;
        else if (flag == "--base-url")
            args.baseUrl = value;
        else if (flag == "--space-transform")
        {
            if (value != "identity" && value != "tilted")
            {
                std::cerr << "corvane-atlasgen: the space transform is \"identity\" or \"tilted\", not \"" << value
                          << "\"\n";
                return false;
            }
            args.tilted = value == "tilted";
        }
        else if (flag == "--id")
        {
            if (!ParseId(value, args.id))
            {
                std::cerr << "corvane-atlasgen: the atlas id must be a whole number from 1 to 4294967295, not \""
                          << value << "\"\n";
                return false;
            }
            args.hasId = true;
        }
        else
        {
            std::cerr << "corvane-atlasgen: unknown option " << flag << "\n" << kUsage;
            return false;
        }
    }
    if (args.profile.empty() || !args.hasId || args.out.empty())
    {
        std::cerr << "corvane-atlasgen: --profile, --id and --out are required\n" << kUsage;
        return false;
    }
    // The templates are "%1%/..." with the base in place of %1%: a trailing slash would double it.
    while (args.baseUrl.size() > 1 && args.baseUrl.back() == '/')
        args.baseUrl.pop_back();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Arguments args;
    if (!Parse(argc, argv, args))
        return 2;
    try
    {
        const auto start = std::chrono::steady_clock::now();
        atlasgen::AtlasContext context(atlasgen::Profile::FromName(args.profile), static_cast<unsigned int>(args.id),
                                       args.baseUrl);
        context.tiltedSpaces = args.tilted;
        atlasgen::OutputFolder output(args.out);
        atlasgen::AtlasWriter(context).Write(output.Scratch());
        output.Commit();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("Wrote atlas %lu (%s, %s profile) to %s in %.2f s\n", args.id, context.identity.name.c_str(),
                    args.profile.c_str(), args.out.c_str(), seconds);
        return 0;
    }
    catch (const std::exception& e)
    {
        std::cerr << "corvane-atlasgen: " << e.what() << "\n";
        return 1;
    }
}
