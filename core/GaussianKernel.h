#pragma once

#include <cstdint>
#include <vector>

// One integer 1-D smoothing kernel: output = (sum of tap × input) >> shift.
struct GaussianKernel
{
    std::vector<std::uint32_t> taps;
    unsigned size = 0;
    unsigned shift = 0;
};

// The kernel of scale 1, 2, 4, 8 or 16; any other scale throws std::runtime_error "Unsupported scale.".
const GaussianKernel& GetKernel(int scale);
