#include "scene/KestRenderer.h"

#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "core/MemoryStreamRef.h"
#include "core/NetFile.h"
#include "core/ZipReader.h"
#include "expression/BrainExpressionModel.h"
#include "scene/BrainSceneView.h"
#include "scene/VolumeRenderer.h"

#include <boost/format.hpp>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

constexpr unsigned int KestRenderer::TAV_IMAGE_SIZE[3];
constexpr float KestRenderer::TAV_RESOLUTION[3];

namespace
{

const unsigned int RAT_ATLAS_ID = 50000;

// Correlation windows (low, high) per pair of spaces of the developing-mouse atlas: rows are the probe's
// space, columns the view's space.
const double WINDOW_LEVEL_RANGES[8][8][2] = {{{0.245418, 1.0},
                                              {0.195685, 0.824655},
                                              {0.188129, 0.783828},
                                              {0.138288, 0.690041},
                                              {0.140679, 0.609828},
                                              {0.117514, 0.46323},
                                              {0.105258, 0.477175},
                                              {0.105258, 0.477175}},
                                             {{0.303853, 0.824655},
                                              {0.39762, 1.0},
                                              {0.325709, 0.874785},
                                              {0.255123, 0.804579},
                                              {0.257383, 0.717002},
                                              {0.197242, 0.633325},
                                              {0.187674, 0.635731},
                                              {0.187674, 0.635731}},
                                             {{0.302285, 0.783828},
                                              {0.389214, 0.874785},
                                              {0.487234, 1.0},
                                              {0.219511, 0.784171},
                                              {0.239324, 0.775193},
                                              {0.186818, 0.694769},
                                              {0.172715, 0.676936},
                                              {0.172715, 0.676936}},
                                             {{0.279815, 0.690041},
                                              {0.414961, 0.804579},
                                              {0.467696, 0.784171},
                                              {0.636918, 1.0},
                                              {0.538696, 0.839845},
                                              {0.423673, 0.76531},
                                              {0.410748, 0.737343},
                                              {0.410748, 0.737343}},
                                             {{0.269555, 0.609828},
                                              {0.400682, 0.717002},
                                              {0.476848, 0.775193},
                                              {0.579943, 0.839845},
                                              {0.701235, 1.0},
                                              {0.502166, 0.800276},
                                              {0.508143, 0.803435},
                                              {0.508143, 0.803435}},
                                             {{0.2011, 0.46323},
                                              {0.301114, 0.633325},
                                              {0.353873, 0.694769},
                                              {0.414294, 0.76531},
                                              {0.456104, 0.800276},
                                              {0.617462, 1.0},
                                              {0.564606, 0.915562},
                                              {0.564606, 0.915562}},
                                             {{0.17849, 0.477175},
                                              {0.288478, 0.635731},
                                              {0.337425, 0.676936},
                                              {0.418671, 0.737343},
                                              {0.479552, 0.803435},
                                              {0.572326, 0.915562},
                                              {0.681426, 1.0},
                                              {0.681426, 1.0}},
                                             {{0.17849, 0.477175},
                                              {0.288478, 0.635731},
                                              {0.337425, 0.676936},
                                              {0.418671, 0.737343},
                                              {0.479552, 0.803435},
                                              {0.572326, 0.915562},
                                              {0.681426, 1.0},
                                              {0.681426, 1.0}}};

template <class First, class... Rest>
std::string Format(const char* pattern, const First& first, const Rest&... rest)
{
    boost::format format(pattern);
    format % first;
    (void)std::initializer_list<int>{((format % rest), 0)...};
    return format.str();
}

} // namespace

KestRenderer::KestRenderer() = default;

KestRenderer::KestRenderer(BrainSceneView* view)
    : m_view(view)
{
    CheckView();
    AtlasSpace* space = view->GetAtlasSpace();
    if (space->GetAtlas()->GetAtlasId() == RAT_ATLAS_ID)
    {
        std::copy(TAV_IMAGE_SIZE, TAV_IMAGE_SIZE + 3, m_gridSize);
        std::copy(TAV_RESOLUTION, TAV_RESOLUTION + 3, m_gridResolution);
    }
    else
    {
        std::copy(space->GetViewDimensions(), space->GetViewDimensions() + 3, m_gridSize);
        std::copy(space->GetViewResolution(), space->GetViewResolution() + 3, m_gridResolution);
    }
    SizeVolumeBuffer();
    m_volumeRenderer = std::make_unique<VolumeRenderer>(view);
}

KestRenderer::~KestRenderer()
{
    AbortTransfer();
}

void KestRenderer::CheckView() const
{
    AtlasSpace* space = m_view ? m_view->GetAtlasSpace() : nullptr;
    if (!space)
        throw std::invalid_argument("Atlas space required for KEST renderer");
    if (!space->GetAtlas())
        throw std::invalid_argument("Atlas required for KEST renderer");
}

void KestRenderer::SizeVolumeBuffer()
{
    const std::uint64_t count =
        static_cast<std::uint64_t>(m_gridSize[0]) * m_gridSize[1] * static_cast<std::uint64_t>(m_gridSize[2]);
    m_volumeBuffer.assign(static_cast<std::size_t>(count), 0.0f);
}

void KestRenderer::AbortTransfer()
{
    // Forgotten before the abort: the transfer deletes itself there, and a failing request right after
    // must not find its pointer again.
    NetFile* transfer = m_transfer;
    m_transfer = nullptr;
    if (transfer)
        transfer->Abort();
}

void KestRenderer::StartTransfer(const std::string& url, const unsigned int* location)
{
    AbortTransfer();
    m_transfer = NetFile::Create(url, this, true);
    std::copy(location, location + 3, m_lastLocation);
}

void KestRenderer::DownloadComplete(const void* data, unsigned long size)
{
    m_transfer = nullptr;
    try
    {
        UnpackVolume(data, size);
        LoadVolume();
        m_view->Invalidate();
    }
    catch (...)
    {
        // A bad reply leaves whatever was drawn before, without a word.
    }
}

void KestRenderer::UnpackVolume(const void* data, unsigned long size)
{
    if (size > 0xffffffffUL)
        throw std::runtime_error("Correlation image in zip stream is wrong size.");
    MemoryStreamRef stream(data, static_cast<unsigned int>(size));
    ZipReader zip(&stream);
    const ZipReader::ZipItem* item = nullptr;
    for (const ZipReader::ZipItem& entry : zip.GetDirectory())
        if (entry.name.find(".raw") != std::string::npos)
        {
            item = &entry;
            break;
        }
    if (!item)
        throw std::runtime_error("Correlation image not found in zip stream.");
    if (static_cast<std::uint64_t>(item->uncompressedSize) != m_volumeBuffer.size() * sizeof(float))
        throw std::runtime_error("Correlation image in zip stream is wrong size.");
    // Read into a copy so that a failing entry (bad CRC, short data) keeps the volume drawn now.
    std::vector<float> values(m_volumeBuffer.size());
    zip.Read(item, reinterpret_cast<unsigned char*>(values.data()));
    m_volumeBuffer.swap(values);
}

void KestRenderer::DownloadFailed(const std::string&)
{
    m_transfer = nullptr;
    m_view->Invalidate();
}

void KestRenderer::ResponseReceived(const std::string&, unsigned long) {}

void KestRenderer::DataReceived(const void*, unsigned long) {}

void KestRenderer::Display()
{
    if (m_volumeRenderer)
        m_volumeRenderer->Display();
}

float KestRenderer::GetDepth(int x, int y)
{
    return m_volumeRenderer ? m_volumeRenderer->GetDepth(x, y) : 1.0f;
}

bool KestRenderer::GetProbeVisible() const
{
    return true;
}

bool KestRenderer::FindLocation(const float* position, unsigned int* location)
{
    AtlasSpace* space = m_view ? m_view->GetAtlasSpace() : nullptr;
    if (!space || !space->GetAtlas())
        return false;
    const unsigned int id = space->GetAtlas()->GetAtlasId();
    const unsigned int* size = m_gridSize;
    const float* resolution = m_gridResolution;
    AtlasSpace* probeSpace = m_view->GetModel()->GetProbeAtlasSpace();
    if ((id == 350 || id == 310 || id == 378) && probeSpace)
    {
        size = probeSpace->GetViewDimensions();
        resolution = probeSpace->GetViewResolution();
    }
    for (int i = 0; i < 3; ++i)
    {
        const auto voxel = static_cast<unsigned int>(static_cast<float>(size[i]) * position[i]);
        location[i] = static_cast<unsigned int>(static_cast<float>(voxel) * resolution[i]);
    }
    return true;
}

std::string KestRenderer::RequestUrl(const unsigned int* location) const
{
    const AtlasSpace* space = m_view->GetAtlasSpace();
    const Atlas* atlas = space->GetAtlas();
    const std::string& host = atlas->GetHostUrl("");
    const std::string& probeName = m_view->GetModel()->GetProbeAtlasSpace()->GetName();
    const std::string& viewName = space->GetName();
    switch (atlas->GetAtlasId())
    {
    case RAT_ATLAS_ID:
        return Format("%1%/kest/data/P56/download?seed=%2%,%3%,%4%&age=P56", host, location[0], location[1],
                      location[2]);
    case 350:
        if (probeName == "P56" || viewName == "P56")
            return std::string();
        [[fallthrough]];
    case 310:
    case 378:
        return Format("%1%/kest/data/%2%/download?seed=%3%,%4%,%5%&age=%6%", host, probeName, location[0], location[1],
                      location[2], viewName);
    default:
        return std::string();
    }
}

void KestRenderer::PositionChanged(const float* position)
{
    if (!m_view->GetModel()->GetProbeAtlasSpace() || !m_view->IsVisible())
        return;
    unsigned int location[3] = {0, 0, 0};
    if (!FindLocation(position, location) || std::equal(location, location + 3, m_lastLocation))
        return;
    const std::string url = RequestUrl(location);
    if (!url.empty())
        StartTransfer(url, location);
}

bool KestRenderer::WindowLevelRange(int probeSpace, int viewSpace, double& low, double& high)
{
    if (probeSpace < 0 || probeSpace > 7 || viewSpace < 0 || viewSpace > 7)
        return false;
    low = WINDOW_LEVEL_RANGES[probeSpace][viewSpace][0];
    high = WINDOW_LEVEL_RANGES[probeSpace][viewSpace][1];
    return true;
}

void KestRenderer::SetTransferFunction(int low, int high, int lowOut, int highOut)
{
    const float width = m_correlationHigh - m_correlationLow;
    const auto map = [&](int value) {
        return static_cast<int>(((static_cast<float>(value) / 255.0f) * width + m_correlationLow) * 255.0f);
    };
    if (m_volumeRenderer)
        m_volumeRenderer->SetTransferFunction(map(low), map(high), lowOut, highOut);
}

void KestRenderer::LoadVolume()
{
    const AtlasSpace* space = m_view->GetAtlasSpace();
    if (space->GetAtlas()->GetAtlasId() == 350)
    {
        const AtlasSpace* probeSpace = m_view->GetModel()->GetProbeAtlasSpace();
        double low = 0.0;
        double high = 1.0;
        // A pair of spaces beyond the table keeps the window it has.
        if (probeSpace && WindowLevelRange(probeSpace->GetIndex(), space->GetIndex(), low, high))
        {
            m_correlationLow = static_cast<float>(low * 0.9);
            m_correlationHigh = static_cast<float>(std::min(high * 1.1, 1.0));
            const Range window = m_view->GetModel()->GetVolumeRenderWindow();
            SetTransferFunction(static_cast<int>(window.min), static_cast<int>(window.max), 0, 255);
        }
    }
    m_volumeRenderer->LoadVolume(m_volumeBuffer.data(), m_gridSize, m_gridResolution, 1.0f, true, nullptr);
}
