#include "core/GaussianRowFilter.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define CORVANE_X86_VECTORS 1
#endif

namespace
{
using Set = GaussianRowFilter::InstructionSet;
using TapPair = GaussianRowFilter::TapPair;
using FoldedTap = GaussianRowFilter::FoldedTap;

// 255 × this is the largest sum a 16-bit lane holds.
constexpr std::uint32_t kGroupWeightLimit = 257;
// pmaddubsw saturates at 32767: the two weights of a pair times 255 must stay below.
constexpr std::uint32_t kPairWeightLimit = 128;

std::atomic<int> g_ceiling{static_cast<int>(Set::Avx512)};

Set DetectInstructionSet()
{
#ifdef CORVANE_X86_VECTORS
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512bw"))
        return Set::Avx512;
    if (__builtin_cpu_supports("avx2"))
        return Set::Avx2;
#endif
    return Set::Portable;
}

// Blocks of 64 outputs whose 32-bit sums the compiler keeps in vector registers of the baseline set.
void FilterPortable(const std::vector<FoldedTap>& taps, unsigned shift, const unsigned char* const* rows,
                    unsigned char* out, int n)
{
    constexpr int kBlock = 64;
    for (int j = 0; j < n; j += kBlock)
    {
        const int count = std::min(kBlock, n - j);
        std::uint32_t sums[kBlock] = {};
        for (const FoldedTap& tap : taps)
        {
            const unsigned char* a = rows[tap.first] + j;
            if (tap.second < 0)
            {
                for (int i = 0; i < count; ++i)
                    sums[i] += tap.weight * a[i];
                continue;
            }
            const unsigned char* b = rows[tap.second] + j;
            for (int i = 0; i < count; ++i)
                sums[i] += tap.weight * (std::uint32_t(a[i]) + b[i]);
        }
        for (int i = 0; i < count; ++i)
            out[j + i] = static_cast<unsigned char>(sums[i] >> shift);
    }
}

#ifdef CORVANE_X86_VECTORS

// pmaddubsw multiplies the interleaved bytes of two rows by their two weights and adds the products:
// two taps per instruction, no widening. The 16-bit sums wrap, but each group's total fits in 16 bits,
// so they come out exact. Two groups are halved before they are added, which the shift undoes.
__attribute__((target("avx2"))) inline void SumPairsAvx2(const TapPair* pair, const TapPair* end,
                                                         const unsigned char* const* rows, int j, __m256i& lo,
                                                         __m256i& hi)
{
    lo = _mm256_setzero_si256();
    hi = _mm256_setzero_si256();
    for (; pair != end; ++pair)
    {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[pair->first] + j));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[pair->second] + j));
        const __m256i weights = _mm256_set1_epi16(pair->weights);
        lo = _mm256_add_epi16(lo, _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, b), weights));
        hi = _mm256_add_epi16(hi, _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, b), weights));
    }
}

__attribute__((target("avx2"))) inline __m256i HalvedSumAvx2(__m256i a, __m256i b)
{
    const __m256i carry = _mm256_and_si256(_mm256_and_si256(a, b), _mm256_set1_epi16(1));
    return _mm256_add_epi16(_mm256_add_epi16(_mm256_srli_epi16(a, 1), _mm256_srli_epi16(b, 1)), carry);
}

__attribute__((target("avx2"))) void FilterAvx2(const std::vector<TapPair>& pairs, std::size_t firstGroup,
                                                unsigned shift, const unsigned char* const* rows, unsigned char* out,
                                                int n)
{
    const TapPair* begin = pairs.data();
    const TapPair* middle = begin + firstGroup;
    const TapPair* end = begin + pairs.size();
    const bool twoGroups = middle != end;
    const __m128i count = _mm_cvtsi32_si128(int(twoGroups ? shift - 1 : shift));
    // The last block overlaps the one before when n is no multiple of the width.
    for (int j = 0;; j += 32)
    {
        const bool last = j + 32 >= n;
        if (last)
            j = n - 32;
        __m256i lo, hi;
        SumPairsAvx2(begin, middle, rows, j, lo, hi);
        if (twoGroups)
        {
            __m256i lo2, hi2;
            SumPairsAvx2(middle, end, rows, j, lo2, hi2);
            lo = HalvedSumAvx2(lo, lo2);
            hi = HalvedSumAvx2(hi, hi2);
        }
        // unpacklo/unpackhi split each 128-bit lane; packus joins them back in order.
        const __m256i bytes = _mm256_packus_epi16(_mm256_srl_epi16(lo, count), _mm256_srl_epi16(hi, count));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j), bytes);
        if (last)
            return;
    }
}

__attribute__((target("avx512bw"))) inline void SumPairsAvx512(const TapPair* pair, const TapPair* end,
                                                               const unsigned char* const* rows, int j, __m512i& lo,
                                                               __m512i& hi)
{
    lo = _mm512_setzero_si512();
    hi = _mm512_setzero_si512();
    for (; pair != end; ++pair)
    {
        const __m512i a = _mm512_loadu_si512(rows[pair->first] + j);
        const __m512i b = _mm512_loadu_si512(rows[pair->second] + j);
        const __m512i weights = _mm512_set1_epi16(pair->weights);
        lo = _mm512_add_epi16(lo, _mm512_maddubs_epi16(_mm512_unpacklo_epi8(a, b), weights));
        hi = _mm512_add_epi16(hi, _mm512_maddubs_epi16(_mm512_unpackhi_epi8(a, b), weights));
    }
}

__attribute__((target("avx512bw"))) inline __m512i HalvedSumAvx512(__m512i a, __m512i b)
{
    const __m512i carry = _mm512_and_si512(_mm512_and_si512(a, b), _mm512_set1_epi16(1));
    return _mm512_add_epi16(_mm512_add_epi16(_mm512_srli_epi16(a, 1), _mm512_srli_epi16(b, 1)), carry);
}

__attribute__((target("avx512bw"))) void FilterAvx512(const std::vector<TapPair>& pairs, std::size_t firstGroup,
                                                      unsigned shift, const unsigned char* const* rows,
                                                      unsigned char* out, int n)
{
    const TapPair* begin = pairs.data();
    const TapPair* middle = begin + firstGroup;
    const TapPair* end = begin + pairs.size();
    const bool twoGroups = middle != end;
    const __m128i count = _mm_cvtsi32_si128(int(twoGroups ? shift - 1 : shift));
    for (int j = 0;; j += 64)
    {
        const bool last = j + 64 >= n;
        if (last)
            j = n - 64;
        __m512i lo, hi;
        SumPairsAvx512(begin, middle, rows, j, lo, hi);
        if (twoGroups)
        {
            __m512i lo2, hi2;
            SumPairsAvx512(middle, end, rows, j, lo2, hi2);
            lo = HalvedSumAvx512(lo, lo2);
            hi = HalvedSumAvx512(hi, hi2);
        }
        const __m512i bytes = _mm512_packus_epi16(_mm512_srl_epi16(lo, count), _mm512_srl_epi16(hi, count));
        _mm512_storeu_si512(out + j, bytes);
        if (last)
            return;
    }
}

#endif

std::uint32_t PairWeight(const TapPair& pair)
{
    return std::uint32_t(pair.weights & 0xFF) + std::uint32_t((pair.weights >> 8) & 0xFF);
}

} // namespace

GaussianRowFilter::GaussianRowFilter(const GaussianKernel& kernel)
    : m_size(static_cast<int>(kernel.taps.size()))
    , m_shift(kernel.shift)
    , m_set(ActiveInstructionSet())
{
    // Taps at equal distance on both sides of the output voxel that carry the same weight share one
    // multiplication; the 24-tap kernel pairs around its peak and keeps its first tap alone.
    const int half = Half();
    std::vector<bool> used(std::size_t(m_size), false);
    m_folded.push_back({kernel.taps[std::size_t(half)], half, -1});
    used[std::size_t(half)] = true;
    for (int d = 1; half - d >= 0 && half + d < m_size; ++d)
    {
        if (kernel.taps[std::size_t(half - d)] != kernel.taps[std::size_t(half + d)])
            continue;
        m_folded.push_back({kernel.taps[std::size_t(half - d)], half - d, half + d});
        used[std::size_t(half - d)] = used[std::size_t(half + d)] = true;
    }
    for (int k = 0; k < m_size; ++k)
    {
        if (!used[std::size_t(k)])
            m_folded.push_back({kernel.taps[std::size_t(k)], k, -1});
    }
    PlanPairs();
}

// Folded taps become the pairs of the vector versions (a lone tap is paired with another or with weight
// 0), split into at most two groups whose weights sum to no more than kGroupWeightLimit.
void GaussianRowFilter::PlanPairs()
{
    std::vector<TapPair> pairs;
    std::vector<const FoldedTap*> singles;
    for (const FoldedTap& tap : m_folded)
    {
        if (tap.weight > 127)
            return;
        if (tap.second >= 0)
            pairs.push_back({tap.first, tap.second, std::int16_t(tap.weight | tap.weight << 8)});
        else
            singles.push_back(&tap);
    }
    for (std::size_t i = 0; i < singles.size(); i += 2)
    {
        const FoldedTap* b = i + 1 < singles.size() ? singles[i + 1] : singles[i];
        const std::uint32_t weightB = i + 1 < singles.size() ? b->weight : 0;
        pairs.push_back({singles[i]->first, b->first, std::int16_t(singles[i]->weight | weightB << 8)});
    }
    for (const TapPair& pair : pairs)
    {
        if (PairWeight(pair) > kPairWeightLimit)
            return;
    }
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const TapPair& a, const TapPair& b) { return PairWeight(a) > PairWeight(b); });
    std::vector<TapPair> groups[2];
    std::uint32_t weights[2] = {0, 0};
    for (const TapPair& pair : pairs)
    {
        const int g = weights[0] + PairWeight(pair) <= kGroupWeightLimit ? 0 : 1;
        weights[g] += PairWeight(pair);
        groups[g].push_back(pair);
    }
    if (weights[1] > kGroupWeightLimit || (!groups[1].empty() && m_shift == 0) || m_shift > 16)
        return;
    m_pairs = groups[0];
    m_pairs.insert(m_pairs.end(), groups[1].begin(), groups[1].end());
    m_firstGroup = groups[0].size();
}

void GaussianRowFilter::Filter(const unsigned char* const* rows, unsigned char* out, int n) const
{
    if (n <= 0)
        return;
#ifdef CORVANE_X86_VECTORS
    if (!m_pairs.empty())
    {
        if (m_set == Set::Avx512 && n >= 64)
            return FilterAvx512(m_pairs, m_firstGroup, m_shift, rows, out, n);
        if (m_set >= Set::Avx2 && n >= 32)
            return FilterAvx2(m_pairs, m_firstGroup, m_shift, rows, out, n);
    }
#endif
    FilterPortable(m_folded, m_shift, rows, out, n);
}

GaussianRowFilter::InstructionSet GaussianRowFilter::ActiveInstructionSet()
{
    static const Set best = DetectInstructionSet();
    return std::min(best, static_cast<Set>(g_ceiling.load()));
}

const char* GaussianRowFilter::Name(InstructionSet set)
{
    switch (set)
    {
    case Set::Avx512:
        return "AVX-512";
    case Set::Avx2:
        return "AVX2";
    case Set::Portable:
        break;
    }
    return "portable";
}

void GaussianRowFilter::LimitInstructionSet(InstructionSet ceiling)
{
    g_ceiling.store(static_cast<int>(ceiling));
}
