#include "scene/ProbTrackRenderer.h"

#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "core/FileStream.h"
#include "core/NiftiReader.h"
#include "core/OSUtils.h"
#include "expression/BrainExpressionModel.h"
#include "scene/BrainSceneView.h"
#include "scene/VolumeRenderer.h"

#include <algorithm>
#include <ios>
#include <stdexcept>

constexpr unsigned int ProbTrackRenderer::GRID_SIZE[3];

ProbTrackRenderer::ProbTrackRenderer(BrainSceneView* view)
    : KestRenderer(view)
{
    std::copy(GRID_SIZE, GRID_SIZE + 3, m_gridSize);
    std::fill(m_gridResolution, m_gridResolution + 3, GRID_RESOLUTION);
    std::fill(m_lastLocation, m_lastLocation + 3, 0u);
    SizeVolumeBuffer();
}

bool ProbTrackRenderer::FindLocation(const float* position, unsigned int* location)
{
    AtlasSpace* space = m_view->GetAtlasSpace();
    if (!space || !space->GetAtlas())
        return false;
    for (int i = 0; i < 3; ++i)
    {
        const auto voxel = static_cast<unsigned int>(static_cast<float>(m_gridSize[i]) * position[i]);
        location[i] = static_cast<unsigned int>(static_cast<float>(voxel) * m_gridResolution[i]);
    }
    return true;
}

std::string ProbTrackRenderer::TractFile(unsigned int x, unsigned int y, unsigned int z) const
{
    const char separator = OSUtils::DirectorySeparator();
    const std::string name = "scm_" + std::to_string(x) + "_" + std::to_string(y) + "_" + std::to_string(z) + ".nii.gz";
    return m_view->GetAtlasSpace()->GetPath() + separator + "ProbTrack" + separator + std::to_string(x) + separator +
           name;
}

void ProbTrackRenderer::PositionChanged(const float* position)
{
    try
    {
        if (!m_view->GetModel()->GetProbeAtlasSpace() || !m_view->IsVisible())
            return;
        unsigned int location[3] = {0, 0, 0};
        if (!FindLocation(position, location) || std::equal(location, location + 3, m_lastLocation))
            return;
        const std::string path = TractFile(location[0] / 1000, location[1] / 1000, location[2] / 1000);
        if (!OSUtils::FileExists(path.c_str()))
            return;
        ReadVolume(path);
        LoadVolume();
        m_view->Invalidate();
        std::copy(location, location + 3, m_lastLocation);
    }
    catch (...)
    {
        // A file that does not read leaves the layer as it was.
    }
}

void ProbTrackRenderer::ReadVolume(const std::string& path)
{
    FileStream stream(path.c_str(), std::ios::in | std::ios::binary);
    NiftiReader reader(&stream);
    // The buffer holds exactly the layer's grid: a file of any other size would not fit.
    if (!std::equal(m_gridSize, m_gridSize + 3, reader.GetSize()))
        throw std::runtime_error("Tract volume has the wrong size.");
    std::vector<float> values(m_volumeBuffer.size());
    reader.GetImage(values.data());
    m_volumeBuffer.swap(values);
}

void ProbTrackRenderer::LoadVolume()
{
    m_volumeRenderer->LoadVolume(m_volumeBuffer.data(), m_gridSize, m_gridResolution, 1.0f, true, nullptr);
}
