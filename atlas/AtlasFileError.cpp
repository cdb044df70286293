#include "atlas/AtlasFileError.h"

#include <utility>

AtlasFileError::AtlasFileError(std::string file, const std::string& reason)
    : std::runtime_error(reason)
    , m_file(std::move(file))
{
}

std::string AtlasFileError::Describe(const std::string& atlas, const std::string& file, const std::string& reason)
{
    return "A file of the atlas \"" + atlas + "\" could not be read:\n" + file + "\n\n" + reason;
}

std::string AtlasFileError::Describe(const std::string& atlas, const std::exception& failure)
{
    if (const auto* fileError = dynamic_cast<const AtlasFileError*>(&failure))
        return Describe(atlas, fileError->GetFile(), fileError->what());
    return "The atlas \"" + atlas + "\" could not be opened.\n\n" + failure.what();
}

std::string AtlasFileError::WithFile(const std::exception& failure)
{
    if (const auto* fileError = dynamic_cast<const AtlasFileError*>(&failure))
        return std::string(fileError->what()) + "\n\n" + fileError->GetFile();
    return failure.what();
}
