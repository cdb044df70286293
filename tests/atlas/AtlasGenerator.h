#pragma once

// The project's synthetic atlas generator, as built for the test programs that define CORVANE_ATLASGEN.

#include <cstdlib>
#include <stdexcept>
#include <string>

// The generator's command for one atlas; several can run at once with " & " between them and "wait".
// options: further arguments, as the shell reads them.
inline std::string AtlasCommand(const std::string& profile, unsigned int id, const std::string& folder,
                                const std::string& baseUrl = "", const std::string& options = "")
{
#ifdef CORVANE_ATLASGEN
    std::string command = std::string("'") + CORVANE_ATLASGEN + "' --profile " + profile + " --id " +
                          std::to_string(id) + " --out '" + folder + "'";
    if (!baseUrl.empty())
        command += " --base-url '" + baseUrl + "'";
    if (!options.empty())
        command += " " + options;
    return command + " > /dev/null";
#else
    (void)profile, (void)id, (void)folder, (void)baseUrl, (void)options;
    throw std::runtime_error("the atlas generator was not built");
#endif
}

// Runs the generator into folder.
inline void GenerateAtlas(const std::string& profile, unsigned int id, const std::string& folder,
                          const std::string& baseUrl = "", const std::string& options = "")
{
    const std::string command = AtlasCommand(profile, id, folder, baseUrl, options);
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("atlas generator failed: " + command);
}
