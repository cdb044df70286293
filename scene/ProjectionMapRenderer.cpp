#include "scene/ProjectionMapRenderer.h"

#include <GL/glew.h>

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "core/FileStream.h"
#include "core/GeometryUtils.h"
#include "core/Image3d.h"
#include "core/JSONParser.h"
#include "core/NetFile.h"
#include "core/OSUtils.h"
#include "core/StringUtils.h"
#include "expression/BrainExpressionModel.h"
#include "gl/GLIcosahedron.h"
#include "scene/BrainSceneView.h"

#include <boost/format.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ios>
#include <limits>
#include <stdexcept>

namespace
{

// The annotation grid the end structures are looked up on.
const unsigned int ANNOTATION_DIMS[3] = {133, 81, 115};
const float ANNOTATION_RES[3] = {100.0f, 100.0f, 100.0f};
const float HIT_RADIUS = 0.75f;

std::uint32_t ReadU32(IOStream& stream)
{
    unsigned char b[4];
    stream.Read(b, 4);
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

float ReadF32(IOStream& stream)
{
    const std::uint32_t bits = ReadU32(stream);
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// A count of records of at least recordSize bytes each, checked against the bytes left in the stream.
std::uint32_t ReadCount(IOStream& stream, std::uint64_t recordSize)
{
    const std::uint32_t count = ReadU32(stream);
    const std::uint64_t left = stream.GetSize() - static_cast<std::uint64_t>(stream.Tell());
    if (count * recordSize > left)
        throw std::runtime_error("Error while reading file.");
    return count;
}

} // namespace

ProjectionMapRenderer::ProjectionMapRenderer(BrainSceneView* view)
{
    m_view = view;
    CheckView();
    const AtlasSpace* space = view->GetAtlasSpace();
    std::copy(space->GetViewDimensions(), space->GetViewDimensions() + 3, m_gridSize);
    std::copy(space->GetViewResolution(), space->GetViewResolution() + 3, m_gridResolution);
    SetAfferentSeedExperiment(DEFAULT_AFFERENT_EXPERIMENT);
}

ProjectionMapRenderer::ProjectionMapRenderer(const float* gridResolution)
{
    std::copy(gridResolution, gridResolution + 3, m_gridResolution);
}

ProjectionMapRenderer::~ProjectionMapRenderer() = default;

// --- Requests ---

bool ProjectionMapRenderer::FindLocation(const float* position, unsigned int* location)
{
    AtlasSpace* space = m_view->GetAtlasSpace();
    AtlasSpace* probeSpace = m_view->GetModel()->GetProbeAtlasSpace();
    if (!space || !space->GetAtlas() || !probeSpace)
        return false;
    const unsigned int* d = probeSpace->GetViewDimensions();
    const float* r = probeSpace->GetViewResolution();
    for (int i = 0; i < 3; ++i)
    {
        const auto n = static_cast<unsigned int>(static_cast<float>(d[i]) * position[i] + 0.5f);
        location[i] = static_cast<unsigned int>(static_cast<float>(n) * r[i]);
    }
    return true;
}

void ProjectionMapRenderer::PositionChanged(const float* position)
{
    try
    {
        AtlasSpace* probeSpace = m_view->GetModel()->GetProbeAtlasSpace();
        if (!probeSpace || !m_view->IsVisible())
            return;
        unsigned int location[3] = {0, 0, 0};
        if (!FindLocation(position, location) || std::equal(location, location + 3, m_lastLocation))
            return;
        const Atlas* atlas = m_view->GetAtlasSpace()->GetAtlas();
        if (!atlas->HasUrls("0378"))
            return;
        const std::string url = (boost::format("%1%/data/%2%/projection_map/target?seedPoint=%3%,%4%,%5%&seedAge=%6%") %
                                 atlas->GetHostUrl("0378") % probeSpace->GetName() % location[0] % location[1] %
                                 location[2] % m_view->GetAtlasSpace()->GetName())
                                    .str();
        StartTransfer(url, location);
    }
    catch (const std::exception&)
    {
        // The next move to the same place tries again.
    }
}

void ProjectionMapRenderer::DownloadComplete(const void* data, unsigned long size)
{
    m_transfer = nullptr;
    try
    {
        if (size > static_cast<unsigned long>(std::numeric_limits<int>::max()))
            throw std::runtime_error("Projection map too large.");
        LoadData(static_cast<const char*>(data), static_cast<unsigned int>(size));
    }
    catch (...)
    {
        m_lines.clear();
    }
}

void ProjectionMapRenderer::DownloadFailed(const std::string&)
{
    m_transfer = nullptr;
    m_lines.clear();
    m_view->Invalidate();
}

void ProjectionMapRenderer::ResponseReceived(const std::string&, unsigned long) {}

void ProjectionMapRenderer::DataReceived(const void*, unsigned long) {}

float ProjectionMapRenderer::GetDepth(int, int)
{
    return -1.0f;
}

void ProjectionMapRenderer::SetTransferFunction(int, int, int, int) {}

void ProjectionMapRenderer::LoadVolume() {}

// --- The reply ---

void ProjectionMapRenderer::LoadData(const char* data, unsigned int size)
{
    m_lines.clear();
    ClearKeys();
    m_inPath = false;
    try
    {
        JSONParser parser(this);
        parser.Parse(data, static_cast<int>(size), true);
        CompleteLines(m_lines);
    }
    catch (...)
    {
        m_lines.clear();
        throw;
    }
    if (m_view)
        m_view->Invalidate();
}

bool ProjectionMapRenderer::StartMap()
{
    JSONElementHandler::StartMap();
    if (GetEnclosingKey() == "msg")
    {
        if (m_lines.empty() || !m_lines.back().points.empty())
            m_lines.emplace_back();
        m_inPath = false;
        m_inCoord = false;
        m_inStructures = false;
        m_coordinates.clear();
    }
    else if (m_inPath)
    {
        m_currentPoint = ProjectionStreamLines::Point3d();
        m_currentPoint.density = 1.0f;
        m_currentPoint.intensity = 1000.0f;
    }
    return true;
}

bool ProjectionMapRenderer::StartArray()
{
    JSONElementHandler::StartArray();
    const std::string& top = GetEnclosingKey();
    if (top == "path")
        m_inPath = true;
    else if (top == "coord")
    {
        m_inCoord = true;
        m_coordinates.clear();
    }
    else if (top == "injection-structures")
        m_inStructures = true;
    return true;
}

bool ProjectionMapRenderer::EndArray()
{
    const std::string& top = GetEnclosingKey();
    if (top == "path")
        m_inPath = false;
    else if (top == "coord")
    {
        m_inCoord = false;
        // Any count but three leaves the point where it was reset.
        if (m_coordinates.size() == 3)
            for (int i = 0; i < 3; ++i)
                m_currentPoint.position[i] = static_cast<float>(m_coordinates[i]) / m_gridResolution[i];
    }
    else if (top == "injection-structures")
        m_inStructures = false;
    return JSONElementHandler::EndArray();
}

bool ProjectionMapRenderer::EndMap()
{
    if (m_inPath && !m_lines.empty())
        m_lines.back().points.push_back(m_currentPoint);
    return JSONElementHandler::EndMap();
}

bool ProjectionMapRenderer::Value(const char* text, unsigned int length)
{
    const std::string value(text, length);
    const std::string& key = GetCurrentKey();
    if (m_inCoord)
    {
        if (m_coordinates.size() == 4)
            return false;
        m_coordinates.push_back(std::atoi(value.c_str()));
    }
    else if (m_inPath)
    {
        if (key == "density")
            m_currentPoint.density = static_cast<float>(std::atof(value.c_str()));
        else if (key == "intensity")
            m_currentPoint.intensity = static_cast<float>(std::atof(value.c_str()));
    }
    else if (!m_lines.empty())
    {
        if (key == "density")
            m_lines.back().density = static_cast<float>(std::atof(value.c_str()));
        else if (!m_inStructures && key == "id")
            m_lines.back().id = StringUtils::ParseUint(value);
    }
    return true;
}

void ProjectionMapRenderer::CompleteLines(std::vector<InjectionStreamLine>& lines) const
{
    lines.erase(
        std::remove_if(lines.begin(), lines.end(), [](const InjectionStreamLine& line) { return line.points.empty(); }),
        lines.end());
    for (InjectionStreamLine& line : lines)
    {
        ProjectionStreamLines::ComputeNormals(line.points);
        line.points.back().density = 1.0f;
        line.points.back().intensity = 10000.0f;
    }
    if (lines.empty() || !m_view)
        return;
    AtlasSpace* space = m_view->GetAtlasSpace();
    Image3d* annotation = space->GetAnnotationImage(ANNOTATION_DIMS, ANNOTATION_RES);
    const std::shared_ptr<BrainOntology> ontology = space->GetAtlas()->GetOntology();
    for (InjectionStreamLine& line : lines)
    {
        const ProjectionStreamLines::Point3d& last = line.points.back();
        float value = 0.0f;
        if (annotation)
            value = annotation->GetValue(last.position[0] * m_gridResolution[0], last.position[1] * m_gridResolution[1],
                                         last.position[2] * m_gridResolution[2]);
        line.structure = ontology->GetAnnotationLabel(static_cast<unsigned short>(static_cast<int>(value)));
    }
}

// --- Drawing and picking ---

float ProjectionMapRenderer::BallSize(float density)
{
    return std::min(std::max(density * 10.0f, 0.15f), 0.8f);
}

void ProjectionMapRenderer::Display()
{
    static const GLIcosahedron icosahedron;
    for (const InjectionStreamLine& line : m_lines)
    {
        float colour[3] = {1.0f, 1.0f, 1.0f};
        if (line.structure)
            for (int i = 0; i < 3; ++i)
                colour[i] = static_cast<float>(line.structure->color[i]) / 255.0f;
        ProjectionStreamLines::DrawLine(line.points, colour, false, 1.0f);
        const float* end = line.points.back().position;
        glColor3fv(colour);
        glBegin(GL_TRIANGLES);
        icosahedron.DrawAt(end[0], end[1], end[2], BallSize(line.density), false);
        glEnd();
    }
}

float ProjectionMapRenderer::HitTest(const float* origin, const float* direction, const InjectionStreamLine*& line)
{
    line = nullptr;
    float best = std::numeric_limits<float>::max();
    for (const InjectionStreamLine& candidate : m_lines)
    {
        const float* end = candidate.points.back().position;
        if (rayPointDistance(origin, direction, end) > HIT_RADIUS)
            continue;
        const float dx = origin[0] - end[0];
        const float dy = origin[1] - end[1];
        const float dz = origin[2] - end[2];
        const float distance = std::sqrt(dx * dx + dy * dy + dz * dz) - HIT_RADIUS;
        if (distance < best)
        {
            best = distance;
            line = &candidate;
        }
    }
    return best;
}

// --- The afferent seed experiment ---

std::string ProjectionMapRenderer::AfferentFile(unsigned int experimentId) const
{
    return AfferentFile(*m_view->GetAtlasSpace(), experimentId);
}

std::string ProjectionMapRenderer::AfferentFile(const AtlasSpace& space, unsigned int experimentId)
{
    const char separator = OSUtils::DirectorySeparator();
    return space.GetPath() + separator + "Afferents" + separator + std::to_string(experimentId);
}

void ProjectionMapRenderer::SetAfferentSeedExperiment(unsigned int experimentId)
{
    const std::string path = AfferentFile(experimentId);
    if (!OSUtils::FileExists(path.c_str()))
        return;
    m_sites.clear();
    FileStream stream(path.c_str(), std::ios::in | std::ios::binary);
    ReadSites(stream);
    m_afferentLoaded = true;
}

void ProjectionMapRenderer::ReadSites(IOStream& stream)
{
    const std::uint32_t siteCount = ReadCount(stream, 12);
    for (std::uint32_t s = 0; s < siteCount; ++s)
    {
        InjectionSite site;
        site.values[0] = ReadU32(stream);
        site.values[1] = ReadU32(stream);
        const std::uint32_t lineCount = ReadCount(stream, 12);
        for (std::uint32_t l = 0; l < lineCount; ++l)
            site.lines.push_back(ReadLine(stream));
        CompleteLines(site.lines);
        m_sites.push_back(std::move(site));
    }
}

ProjectionMapRenderer::InjectionStreamLine ProjectionMapRenderer::ReadLine(IOStream& stream)
{
    InjectionStreamLine line;
    line.id = ReadU32(stream);
    line.density = ReadF32(stream);
    const std::uint32_t pointCount = ReadCount(stream, 20);
    line.points.resize(pointCount);
    for (ProjectionStreamLines::Point3d& point : line.points)
    {
        for (int i = 0; i < 3; ++i)
            point.position[i] = ReadF32(stream) / m_gridResolution[i];
        point.density = ReadF32(stream);
        point.intensity = ReadF32(stream);
    }
    return line;
}
