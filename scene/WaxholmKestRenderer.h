#pragma once

#include "scene/KestRenderer.h"

#include <string>
#include <vector>

class AtlasSpace;

// The correlation layer of the rat atlas. The server answers on the mouse correlation grid; the layer
// resamples each volume into the rat space through the transform library beside the program (the
// transform chain lies in the space's "Transforms" folder) before drawing it.
//
// Construction throws std::runtime_error "Transform library not available.", "Transform library
// functions not available." or "Could not create image resampler."; a volume that fails to resample is
// dropped without a word.
class WaxholmKestRenderer : public KestRenderer
{
public:
    static constexpr unsigned int WAXHOLM_IMAGE_SIZE[3] = {56, 111, 56};
    static constexpr const char* LIBRARY_NAME = "libItkTransform.so";

    // library: the transform library's file; empty for the one in the program data folder.
    WaxholmKestRenderer(BrainSceneView* view, AtlasSpace* space, const std::string& library = std::string());
    ~WaxholmKestRenderer() override;

    bool FindLocation(const float* position, unsigned int* location) override;
    void LoadVolume() override;
    // Opens the library in the program data folder and finds its three functions.
    virtual void LoadLibrary();
    // The library's file in the program data folder.
    static std::string DefaultLibraryPath();

    const std::vector<float>& GetResampledBuffer() const { return m_resampledBuffer; }

private:
    using CreateFunction = void* (*)(const char*, const char*, const char*);
    using DestroyFunction = void (*)(void*);
    using ResampleFunction = int (*)(void*, const float*, const unsigned int*, const float*, float*,
                                     const unsigned int*, float, const float*);

    void Close();

    std::string m_libraryPath;
    std::vector<float> m_resampledBuffer;
    unsigned int m_outputSize[3] = {WAXHOLM_IMAGE_SIZE[0], WAXHOLM_IMAGE_SIZE[1], WAXHOLM_IMAGE_SIZE[2]};
    AtlasSpace* m_space;
    CreateFunction m_createResampler = nullptr;
    DestroyFunction m_destroyResampler = nullptr;
    ResampleFunction m_resample = nullptr;
    void* m_resampler = nullptr;
    void* m_library = nullptr;
};
