#include "scene/WaxholmKestRenderer.h"

#include "atlas/AtlasSpace.h"
#include "core/ResourcePath.h"
#include "scene/VolumeRenderer.h"

#include <dlfcn.h>

#include <stdexcept>

constexpr unsigned int WaxholmKestRenderer::WAXHOLM_IMAGE_SIZE[3];

WaxholmKestRenderer::WaxholmKestRenderer(BrainSceneView* view, AtlasSpace* space, const std::string& library)
    : KestRenderer(view)
    , m_libraryPath(library.empty() ? DefaultLibraryPath() : library)
    , m_space(space)
{
    try
    {
        LoadLibrary();
        m_resampledBuffer.assign(static_cast<std::size_t>(m_outputSize[0]) * m_outputSize[1] * m_outputSize[2], 0.0f);
        const std::string folder = m_space->GetPath() + "/Transforms/";
        const std::string permute = folder + "PermuteAndFlipTransform.meta";
        const std::string affine = folder + "AffineTransform.meta";
        const std::string bspline = folder + "BSplineTransform.meta";
        m_resampler = m_createResampler(permute.c_str(), affine.c_str(), bspline.c_str());
        if (!m_resampler)
            throw std::runtime_error("Could not create image resampler.");
    }
    catch (...)
    {
        Close();
        throw;
    }
}

std::string WaxholmKestRenderer::DefaultLibraryPath()
{
    return ResourcePath::GetResourcePath() + LIBRARY_NAME;
}

WaxholmKestRenderer::~WaxholmKestRenderer()
{
    Close();
}

void WaxholmKestRenderer::Close()
{
    if (m_resampler && m_destroyResampler)
        m_destroyResampler(m_resampler);
    m_resampler = nullptr;
    if (m_library)
        dlclose(m_library);
    m_library = nullptr;
}

void WaxholmKestRenderer::LoadLibrary()
{
    m_library = dlopen(m_libraryPath.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!m_library)
        throw std::runtime_error("Transform library not available.");
    m_createResampler = reinterpret_cast<CreateFunction>(dlsym(m_library, "CreateResampler"));
    m_destroyResampler = reinterpret_cast<DestroyFunction>(dlsym(m_library, "DestroyResampler"));
    m_resample = reinterpret_cast<ResampleFunction>(dlsym(m_library, "Resample"));
    if (!m_createResampler || !m_destroyResampler || !m_resample)
        throw std::runtime_error("Transform library functions not available.");
}

bool WaxholmKestRenderer::FindLocation(const float* position, unsigned int* location)
{
    const unsigned int* d = m_space->GetViewDimensions();
    int a = 0;
    int b = 0;
    int c = 0;
    if (!m_space->KestCoordinates(static_cast<float>(d[0]) * position[0], static_cast<float>(d[1]) * position[1],
                                  static_cast<float>(d[2]) * position[2], a, b, c))
        return false;
    location[0] = static_cast<unsigned int>(a);
    location[1] = static_cast<unsigned int>(b);
    location[2] = static_cast<unsigned int>(c);
    return true;
}

void WaxholmKestRenderer::LoadVolume()
{
    const float spacing[3] = {0.2f, 0.2f, 0.2f};
    try
    {
        if (!m_resample(m_resampler, m_volumeBuffer.data(), m_gridSize, spacing, m_resampledBuffer.data(), m_outputSize,
                        0.0f, spacing))
            throw std::runtime_error("Could not resample volume");
    }
    catch (const std::exception&)
    {
        // Nothing is shown for a volume that does not resample.
        return;
    }
    m_volumeRenderer->LoadVolume(m_resampledBuffer.data(), m_outputSize, m_gridResolution, 1.0f, true, nullptr);
}
