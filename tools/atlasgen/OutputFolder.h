#pragma once

#include <string>

namespace atlasgen
{

// Builds an atlas in a sibling scratch folder and moves it into place only when it is complete, so
// that a failed run never leaves a half-written atlas where an installed one is expected. A folder
// that exists at the target is replaced only when it is empty or holds an earlier atlas (an Info.xml).
class OutputFolder
{
public:
    explicit OutputFolder(const std::string& target);
    ~OutputFolder(); // removes the scratch folder unless committed

    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    const std::string& Scratch() const { return scratch_; }
    void Commit();

private:
    std::string target_;
    std::string scratch_;
    bool committed_ = false;
};

} // namespace atlasgen
