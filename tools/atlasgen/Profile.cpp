#include "Profile.h"

#include <stdexcept>

namespace atlasgen
{

Profile Profile::FromName(const std::string& name)
{
    if (name == "micro")
        return {name, {24, 16, 20}, 500.0f, {12, 8, 10}, 1000.0f, false, true, true, 1, 12, 8};
    if (name == "tiny")
        return {name, {133, 81, 115}, 100.0f, {67, 41, 58}, 200.0f, true, false, false, 1, 60, 40};
    if (name == "demo")
        return {name, {266, 162, 230}, 50.0f, {133, 81, 115}, 100.0f, true, false, false, 2, 200, 400};
    throw std::invalid_argument("Unknown profile \"" + name + "\" (expected micro, tiny or demo)");
}

} // namespace atlasgen
