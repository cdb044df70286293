#pragma once

#include "core/GaussianKernel.h"

#include <cstdint>
#include <vector>

// One pass of the integer Gaussian over whole rows at once: out[i] = (sum of tap[k] × rows[k][i]) >> shift
// for i in [0, n), stored as a byte. The caller hands in the kernel's inputs of a run of neighbouring
// outputs: shifted views of one zero-padded line for lines along x, whole neighbouring rows for lines
// along y or z, so that every access runs along x and all taps of a block of outputs are summed in
// registers before anything is stored.
//
// The sums are exact, whichever instruction set runs them: the best the processor offers (AVX-512,
// AVX2) is picked at run time, with a portable version for any other processor and for short rows.
class GaussianRowFilter
{
public:
    enum class InstructionSet
    {
        Portable,
        Avx2,
        Avx512
    };

    explicit GaussianRowFilter(const GaussianKernel& kernel);

    int Size() const { return m_size; }
    // Number of taps before the output voxel.
    int Half() const { return m_size / 2; }

    // rows holds Size() pointers, each readable at [0, n); out must not overlap them.
    void Filter(const unsigned char* const* rows, unsigned char* out, int n) const;

    // The best set this processor runs, lowered by LimitInstructionSet.
    static InstructionSet ActiveInstructionSet();
    static const char* Name(InstructionSet set);
    // Lets tests and benchmarks run the slower versions on a processor that has the faster ones.
    static void LimitInstructionSet(InstructionSet ceiling);

    // Two taps of the vector versions: rows first and second with weights packed as first | second << 8.
    struct TapPair
    {
        int first = 0;
        int second = 0;
        std::int16_t weights = 0;
    };
    // A tap of the portable version; a symmetric kernel's equal taps are folded into one (second >= 0).
    struct FoldedTap
    {
        std::uint32_t weight = 0;
        int first = 0;
        int second = -1;
    };

private:
    void PlanPairs();

    int m_size;
    unsigned m_shift;
    std::vector<FoldedTap> m_folded;
    // Pairs [0, m_firstGroup) and [m_firstGroup, end) each sum below 2^16 for any voxels, so that 16-bit
    // lanes hold them; empty when the kernel does not allow that and only the portable version runs.
    std::vector<TapPair> m_pairs;
    std::size_t m_firstGroup = 0;
    InstructionSet m_set;
};
