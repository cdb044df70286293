// The three functions the rat atlas's correlation layer loads at run time. Nothing may escape them:
// the caller is C, so every failure becomes a null handle or a zero result.

#include "TransformChain.h"

#include <cstdint>
#include <new>

#define CORVANE_EXPORT extern "C" __attribute__((visibility("default")))

CORVANE_EXPORT void* CreateResampler(const char* permuteAndFlip, const char* affine, const char* bspline)
{
    if (!permuteAndFlip || !affine || !bspline)
        return nullptr;
    try
    {
        auto* chain = new resampler::TransformChain();
        try
        {
            chain->permuteAndFlip = resampler::ReadPermuteAndFlip(permuteAndFlip);
            chain->affine = resampler::ReadAffine(affine);
            chain->bspline = resampler::ReadBSpline(bspline);
        }
        catch (...)
        {
            delete chain;
            return nullptr;
        }
        return chain;
    }
    catch (...)
    {
        return nullptr;
    }
}

CORVANE_EXPORT void DestroyResampler(void* handle)
{
    delete static_cast<resampler::TransformChain*>(handle);
}

CORVANE_EXPORT int Resample(void* handle, const float* input, const unsigned int* inputSize, const float* inputSpacing,
                            float* output, const unsigned int* outputSize, float defaultValue,
                            const float* outputSpacing)
{
    if (!handle || !input || !inputSize || !inputSpacing || !output || !outputSize || !outputSpacing)
        return 0;
    for (int a = 0; a < 3; ++a)
        if (inputSize[a] == 0 || outputSize[a] == 0 || !(inputSpacing[a] > 0.0f))
            return 0;
    try
    {
        resampler::Resample(*static_cast<const resampler::TransformChain*>(handle), input, inputSize, inputSpacing,
                            output, outputSize, defaultValue, outputSpacing);
        return 1;
    }
    catch (...)
    {
        return 0;
    }
}
