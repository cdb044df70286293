#include "atlas/PointSet.h"

#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "core/FileStream.h"
#include "core/Image3d.h"
#include "core/StringUtils.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

namespace
{

const std::uint32_t POINT_FILE_MAGIC = 0x99118822u;
const std::uint16_t POINT_FILE_VERSION = 1;
const unsigned int POINT_RECORD_BYTES = 16;

// The grid on which points are labelled: the annotation at 100 µm, whatever the space's own grids are.
const unsigned int imageSize[3] = {133, 81, 115};
const float gridResolution[3] = {100.0f, 100.0f, 100.0f};

std::uint32_t ReadUint32(const unsigned char* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

float ReadFloat32(const unsigned char* bytes)
{
    const std::uint32_t bits = ReadUint32(bytes);
    float value;
    static_assert(sizeof(value) == sizeof(bits), "32-bit floats");
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

struct Columns
{
    int id = -1;
    int structure = -1;
    int size = -1;
};

Columns FindColumns(const std::string& header)
{
    std::vector<std::string> names;
    StringUtils::SplitLine(header, names, ',');
    Columns columns;
    for (std::size_t i = 0; i < names.size(); ++i)
    {
        const std::string& name = names[i];
        if (name == "structure_id")
            columns.structure = static_cast<int>(i);
        else if (name == "data_set_id" || name == "well_id")
            columns.id = static_cast<int>(i);
        else if (name == "size" || name == "injection_size")
            columns.size = static_cast<int>(i);
    }
    return columns;
}

// The field of the column when the row has it and it is not empty.
const std::string* FieldOf(const std::vector<std::string>& fields, int column)
{
    if (column < 0 || static_cast<std::size_t>(column) >= fields.size() || fields[column].empty())
        return nullptr;
    return &fields[column];
}

// A coordinate in hundreds of µm; false when the field cannot place the point. A text that reads as
// infinite or not a number cannot either: it would reach the voxel lookup of the space conversion.
bool ReadCoordinate(const std::string& field, float& coordinate)
{
    if (field.empty())
        return false;
    const double value = std::atof(field.c_str());
    if (value < 0.0 || !std::isfinite(value))
        return false;
    coordinate = static_cast<float>(value / 100.0);
    return std::isfinite(coordinate);
}

PointSet::Point3d Placeholder()
{
    PointSet::Point3d point;
    point.x = point.y = point.z = 0.0f;
    return point;
}

} // namespace

PointSet::PointSet(const char* path, AtlasSpace* space)
{
    Load(path, space);
}

void PointSet::Load(const char* path, AtlasSpace* space)
{
    points.clear();
    // The map is only checked by its size: a file of as many points must not find the old one current.
    m_samplePointMap.clear();
    const std::string name(path);
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".csv") == 0)
        LoadText(path);
    else
        LoadBinary(path);
    if (space)
        ConvertToSpace(*space);
}

void PointSet::LoadBinary(const char* path)
{
    FileStream stream(path, std::ios::in | std::ios::binary);
    unsigned char header[10];
    stream.Read(header, sizeof(header));
    const std::uint32_t magic = ReadUint32(header);
    const unsigned int version = header[4] | header[5] << 8;
    const std::uint32_t count = ReadUint32(header + 6);
    if (magic != POINT_FILE_MAGIC || version != POINT_FILE_VERSION || count > MAX_BINARY_POINTS)
        throw std::runtime_error(std::string("Unexpected surface points file format found while reading: ") + path);

    std::vector<unsigned char> records(static_cast<std::size_t>(count) * POINT_RECORD_BYTES);
    if (!records.empty())
        stream.Read(records.data(), static_cast<unsigned int>(records.size()));
    points.reserve(points.size() + count);
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const unsigned char* record = &records[static_cast<std::size_t>(i) * POINT_RECORD_BYTES];
        Point3d point;
        point.id = ReadUint32(record);
        point.x = ReadFloat32(record + 4);
        point.y = ReadFloat32(record + 8);
        point.z = ReadFloat32(record + 12);
        points.push_back(point);
    }
}

void PointSet::LoadText(const char* path)
{
    std::ifstream file(path);
    if (!file)
        throw std::runtime_error(std::string("Error while opening file: ") + path);

    // A folder, or a read error, opens like a file but reads as one without lines.
    const auto throwIfUnreadable = [&]() {
        if (file.bad())
            throw std::runtime_error(std::string("Error while opening file: ") + path);
    };
    std::string line;
    if (!std::getline(file, line))
    {
        throwIfUnreadable();
        return;
    }
    const Columns columns = FindColumns(line);

    int row = 0;
    std::vector<std::string> fields;
    while (std::getline(file, line))
    {
        StringUtils::SplitLine(line, fields, ',');
        if (fields.size() < 4)
        {
            points.push_back(Placeholder());
            ++row;
            continue;
        }
        Point3d point;
        const std::string* id = FieldOf(fields, columns.id);
        point.id = id ? StringUtils::ParseUint(*id) : 0;
        const std::string* structure = FieldOf(fields, columns.structure);
        point.structureId = structure ? StringUtils::ParseUint(*structure) : 0;
        const std::string* size = FieldOf(fields, columns.size);
        point.size = size ? static_cast<float>(std::atof(size->c_str())) : 0.0f;

        const std::size_t last = fields.size() - 3;
        const bool placed = ReadCoordinate(fields[last], point.x) & ReadCoordinate(fields[last + 1], point.y) &
                            ReadCoordinate(fields[last + 2], point.z);
        if (placed)
        {
            point.index = row;
            points.push_back(point);
        }
        else
            points.push_back(Placeholder());
        ++row;
    }
    throwIfUnreadable();
}

void PointSet::ConvertToSpace(AtlasSpace& space)
{
    const float* resolution = space.GetViewResolution();
    const Image3d* annotation = space.GetAnnotationImage(imageSize, gridResolution);
    const std::shared_ptr<const BrainOntology> ontology = space.GetAtlas()->GetOntology();
    for (Point3d& point : points)
    {
        point.x *= 100.0f / resolution[0];
        point.y *= 100.0f / resolution[1];
        point.z *= 100.0f / resolution[2];
        const float value =
            annotation->GetValue(point.x * resolution[0], point.y * resolution[1], point.z * resolution[2]);
        point.label = ontology->GetAnnotationLabel(static_cast<unsigned short>(static_cast<unsigned int>(value)));
    }
}

const std::unordered_map<unsigned int, PointSet::Point3d>& PointSet::GetSamplePointMap()
{
    if (m_samplePointMap.size() == points.size())
        return m_samplePointMap;
    m_samplePointMap.clear();
    for (const Point3d& point : points)
        m_samplePointMap.emplace(point.id, point);
    return m_samplePointMap;
}
