#pragma once

#include <stdexcept>
#include <string>

// A file of an installed atlas that could not be read. what() is the reader's own message, unchanged, so
// that callers that show or compare it see what they always did; the file is kept beside it for the user,
// who needs to know which of the atlas's many files is damaged.
class AtlasFileError : public std::runtime_error
{
public:
    AtlasFileError(std::string file, const std::string& reason);

    // The path of the damaged or missing file.
    const std::string& GetFile() const { return m_file; }

    // What the user is told: the atlas (its name, or its folder when it has none yet), the file and why.
    static std::string Describe(const std::string& atlas, const std::string& file, const std::string& reason);
    // The same for any failure of an atlas: a failure that names no file names the atlas alone.
    static std::string Describe(const std::string& atlas, const std::exception& failure);
    // For an alert that names the atlas already: the failure's own text, then the file when it names one.
    static std::string WithFile(const std::exception& failure);

    // Runs read() and gives any std::exception it throws the file, unless it names one already.
    template <typename Read>
    static auto Reading(const std::string& file, Read&& read) -> decltype(read())
    {
        try
        {
            return read();
        }
        catch (const AtlasFileError&)
        {
            throw;
        }
        catch (const std::exception& error)
        {
            throw AtlasFileError(file, error.what());
        }
    }

private:
    std::string m_file;
};
