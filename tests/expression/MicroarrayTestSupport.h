#pragma once

// What the microarray tests share: generated atlases of atlas 351 (one per profile, for the whole test
// program), Python's view of files and documents, and data sets placed from values given by hand.

#include "ExpressionFixture.h"

#include "atlas/AtlasSpace.h"
#include "atlas/PointSet.h"
#include "expression/MicroarrayExpression.h"

#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

// The folder of a generated atlas 351 of that profile.
inline std::string Microarray351Folder(const std::string& profile)
{
    static TempDir dir;
    static std::map<std::string, std::string> folders;
    std::string& folder = folders[profile];
    if (folder.empty())
    {
        GenerateAtlas(profile, 351, dir.File(profile));
        folder = dir.File(profile);
    }
    return folder;
}

inline bool HavePython()
{
#ifdef CORVANE_PYTHON
    return true;
#else
    return false;
#endif
}

// What a Python program prints; argv[1] onwards are the arguments.
inline std::string PythonOutput(const std::string& program, const std::vector<std::string>& arguments = {})
{
#ifdef CORVANE_PYTHON
    TempDir dir;
    std::string command = std::string("'") + CORVANE_PYTHON + "' '" + dir.Write("program.py", program) + "'";
    for (const std::string& argument : arguments)
        command += " '" + argument + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("no pipe for " + command);
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    if (pclose(pipe) != 0)
        throw std::runtime_error("python failed: " + program);
    return output;
#else
    (void)program, (void)arguments;
    throw std::runtime_error("no Python in this build");
#endif
}

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

inline PointSet::Point3d SamplePoint(unsigned int id, int index, float x, float y, float z, unsigned int structureId)
{
    PointSet::Point3d point;
    point.id = id;
    point.index = index;
    point.x = x;
    point.y = y;
    point.z = z;
    point.structureId = structureId;
    return point;
}
