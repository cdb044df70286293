#pragma once

#include <string>
#include <vector>

#include "TestSupport.h"

// Helpers shared by the volume, filter and NIfTI tests, besides those of every suite in TestSupport.h.
namespace volumetest
{

// Runs one of the Python scripts in tests/core/oracles with /usr/bin/python3 and the given arguments;
// returns false (and the test skips or fails) when the interpreter or its packages are missing.
bool RunOracle(const std::string& script, const std::vector<std::string>& arguments);

} // namespace volumetest
