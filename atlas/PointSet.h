#pragma once

#include <unordered_map>
#include <vector>

class AnnotationLabel;
class AtlasSpace;

// A list of 3-D points (sample positions, surface samples, injection sites), each with an id, a structure
// and a size, read from a comma-separated text file (".csv") or a small binary file. Points of a set that
// belongs to an atlas space are moved onto the space's view grid and labelled with the structure there.
class PointSet
{
public:
    struct Point3d
    {
        float x = -1.0f;
        float y = -1.0f;
        float z = -1.0f;
        // Row in the text file; -1 for placeholders and binary points.
        int index = -1;
        unsigned int id = 0;
        unsigned int structureId = 0;
        float size = 0.0f;
        const AnnotationLabel* label = nullptr;
    };

    // Binary point files hold at most this many points.
    static constexpr unsigned int MAX_BINARY_POINTS = 100000;

    PointSet() = default;
    // Throws whatever Load throws.
    PointSet(const char* path, AtlasSpace* space);
    virtual ~PointSet() = default;

    // Replaces the points by the file's (text when the path ends in ".csv") and, with a space, moves them
    // onto its view grid and labels them.
    virtual void Load(const char* path, AtlasSpace* space);
    // Appends the points of a binary file. Throws std::runtime_error "Unexpected surface points file format
    // found while reading: " + path for a wrong header, or the stream's error for a short file.
    virtual void LoadBinary(const char* path);
    // Appends the points of a text file; rows without a usable position become placeholders. Throws
    // std::runtime_error "Error while opening file: " + path, or std::invalid_argument for an id or
    // structure field that is not an unsigned number.
    virtual void LoadText(const char* path);

    // Each id's first point; rebuilt when it no longer matches the points.
    const std::unordered_map<unsigned int, Point3d>& GetSamplePointMap();

    std::vector<Point3d> points;

private:
    void ConvertToSpace(AtlasSpace& space);

    std::unordered_map<unsigned int, Point3d> m_samplePointMap;
};
