#include "core/GaussianKernel.h"

#include <stdexcept>

namespace
{

GaussianKernel MakeKernel(std::vector<std::uint32_t> taps, unsigned shift)
{
    GaussianKernel kernel;
    kernel.size = static_cast<unsigned>(taps.size());
    kernel.taps = std::move(taps);
    kernel.shift = shift;
    return kernel;
}

// Built on first use rather than by a namespace-scope initialiser, so that other static
// initialisers may already filter. The scale-16 kernel has an even number of taps and sums to 510:
// it darkens slightly and shifts by half a voxel, but volumes already cached on disk were filtered
// with exactly these weights.
struct Kernels
{
    GaussianKernel scale1 = MakeKernel({1, 2, 1}, 2);
    GaussianKernel scale2 = MakeKernel({1, 4, 6, 4, 1}, 4);
    GaussianKernel scale4 = MakeKernel({1, 3, 8, 16, 23, 26, 23, 16, 8, 3, 1}, 7);
    GaussianKernel scale8 = MakeKernel({1, 2, 5, 8, 14, 21, 27, 32, 36, 32, 27, 21, 14, 8, 5, 2, 1}, 8);
    GaussianKernel scale16 =
        MakeKernel({1, 1, 2, 4, 7, 11, 17, 23, 31, 39, 45, 49, 51, 49, 45, 39, 31, 23, 17, 11, 7, 4, 2, 1}, 9);
};

const Kernels& AllKernels()
{
    static const Kernels kernels;
    return kernels;
}

} // namespace

const GaussianKernel& GetKernel(int scale)
{
    const Kernels& k = AllKernels();
    switch (scale)
    {
    case 1:
        return k.scale1;
    case 2:
        return k.scale2;
    case 4:
        return k.scale4;
    case 8:
        return k.scale8;
    case 16:
        return k.scale16;
    default:
        throw std::runtime_error("Unsupported scale.");
    }
}
