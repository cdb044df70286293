// The transform library as the rat atlas's layer loads it: its three functions through dlopen, compared
// with a numpy and scipy reference of the same chain read from the same files.

#include "TestSupport.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace
{

using CreateFunction = void* (*)(const char*, const char*, const char*);
using DestroyFunction = void (*)(void*);
using ResampleFunction = int (*)(void*, const float*, const unsigned int*, const float*, float*, const unsigned int*,
                                 float, const float*);

struct Library
{
    Library()
    {
        handle = dlopen(CORVANE_ITKTRANSFORM, RTLD_LAZY | RTLD_LOCAL);
        if (!handle)
            return;
        create = reinterpret_cast<CreateFunction>(dlsym(handle, "CreateResampler"));
        destroy = reinterpret_cast<DestroyFunction>(dlsym(handle, "DestroyResampler"));
        resample = reinterpret_cast<ResampleFunction>(dlsym(handle, "Resample"));
    }
    ~Library()
    {
        if (handle)
            dlclose(handle);
    }
    void* handle = nullptr;
    CreateFunction create = nullptr;
    DestroyFunction destroy = nullptr;
    ResampleFunction resample = nullptr;
};

struct Chain
{
    std::string permute, affine, bspline;
};

std::string Join(const std::vector<double>& values)
{
    std::ostringstream out;
    out.precision(17);
    for (std::size_t i = 0; i < values.size(); ++i)
        out << (i ? " " : "") << values[i];
    return out.str();
}

// A random chain of the three steps, written as the files' text.
Chain RandomChain(unsigned int seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> permutation = {0, 1, 2};
    std::shuffle(permutation.begin(), permutation.end(), random);
    std::vector<double> flip, extent, matrix(9), translation, origin, spacing, coefficients;
    for (int a = 0; a < 3; ++a)
    {
        flip.push_back(unit(random) < 0.5 ? 1 : 0);
        extent.push_back(4.0 + 4.0 * unit(random));
        translation.push_back(unit(random) - 0.2);
        origin.push_back(-1.0 + unit(random));
        spacing.push_back(1.0 + unit(random));
    }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            matrix[r * 3 + c] = (r == c ? 0.6 + 0.4 * unit(random) : 0.0) + 0.1 * (unit(random) - 0.5);
    const std::vector<double> size = {4, 3, 5};
    for (int i = 0; i < 3 * 4 * 3 * 5; ++i)
        coefficients.push_back(0.6 * (unit(random) - 0.5));
    return {"Transform = PermuteAndFlip\nPermutation = " + Join(permutation) + "\nFlip = " + Join(flip) +
                "\nExtent = " + Join(extent) + "\n",
            "# an affine\nTransform = Affine\nMatrix = " + Join(matrix) + "\nTranslation = " + Join(translation) + "\n",
            "Transform = BSpline\nOrigin = " + Join(origin) + "\nSpacing = " + Join(spacing) +
                "\nSize = " + Join(size) + "\nCoefficients = " + Join(coefficients) + "\n"};
}

class ResamplerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(library.handle, nullptr) << dlerror();
        ASSERT_TRUE(library.create && library.destroy && library.resample);
    }

    std::vector<std::string> WriteChain(const Chain& chain)
    {
        return {dir.Write("p.meta", chain.permute), dir.Write("a.meta", chain.affine),
                dir.Write("b.meta", chain.bspline)};
    }

    // Resamples a random volume through the files and lets the reference judge the result.
    void CompareWithReference(const std::vector<std::string>& files, const unsigned int* inSize,
                              const unsigned int* outSize, float spacingIn, float spacingOut, float defaultValue)
    {
        void* handle = library.create(files[0].c_str(), files[1].c_str(), files[2].c_str());
        ASSERT_NE(handle, nullptr);
        const ScopeExit destroy([&] { library.destroy(handle); });
        std::mt19937 random(7);
        std::uniform_real_distribution<float> value(-2.0f, 5.0f);
        std::vector<float> input(std::size_t{inSize[0]} * inSize[1] * inSize[2]);
        for (float& v : input)
            v = value(random);
        std::vector<float> output(std::size_t{outSize[0]} * outSize[1] * outSize[2], 1234.5f);
        const float in[3] = {spacingIn, spacingIn, spacingIn};
        const float out[3] = {spacingOut, spacingOut, spacingOut};
        ASSERT_EQ(1, library.resample(handle, input.data(), inSize, in, output.data(), outSize, defaultValue, out));
        std::size_t sampled = 0;
        for (float v : output)
            sampled += v != defaultValue;
        EXPECT_GT(sampled, output.size() / 10) << "the chain should land mostly inside the input";
        WriteWholeFile(dir.File("in.raw"), input.data(), input.size() * 4);
        WriteWholeFile(dir.File("out.raw"), output.data(), output.size() * 4);
        std::ostringstream sizes;
        sizes.precision(9);
        sizes << inSize[0] << ' ' << inSize[1] << ' ' << inSize[2] << ' ' << outSize[0] << ' ' << outSize[1] << ' '
              << outSize[2] << ' ' << defaultValue << ' ' << spacingIn << ' ' << spacingOut;
        dir.Write("sizes", sizes.str());
        const std::string command = std::string(CORVANE_PYTHON) + " '" + CORVANE_REFERENCE + "' '" + files[0] + "' '" +
                                    files[1] + "' '" + files[2] + "' '" + dir.File("in.raw") + "' '" +
                                    dir.File("out.raw") + "' '" + dir.File("sizes") + "' > '" + dir.File("log") +
                                    "' 2>&1";
        const int status = std::system(command.c_str());
        const std::vector<unsigned char> log = ReadWholeFile(dir.File("log"));
        EXPECT_EQ(0, status) << std::string(log.begin(), log.end());
    }

    Library library;
    TempDir dir;
};

TEST_F(ResamplerTest, RandomChainsAgreeWithTheReference)
{
    const unsigned int inSize[3] = {9, 7, 8};
    const unsigned int outSize[3] = {11, 6, 9};
    for (unsigned int seed : {1u, 2u, 3u, 4u, 5u})
    {
        SCOPED_TRACE(seed);
        CompareWithReference(WriteChain(RandomChain(seed)), inSize, outSize, 0.7f, 0.55f, seed == 3 ? -1.0f : 0.0f);
    }
}

TEST_F(ResamplerTest, GeneratedRatChainAgreesWithTheReference)
{
    const std::string atlas = dir.File("rat");
    const std::string command =
        std::string("'") + CORVANE_ATLASGEN + "' --profile micro --id 50000 --out '" + atlas + "' > /dev/null";
    ASSERT_EQ(0, std::system(command.c_str()));
    const std::string folder = atlas + "/Spaces/P56/Transforms/";
    const unsigned int inSize[3] = {67, 41, 58};
    const unsigned int outSize[3] = {56, 111, 56};
    CompareWithReference(
        {folder + "PermuteAndFlipTransform.meta", folder + "AffineTransform.meta", folder + "BSplineTransform.meta"},
        inSize, outSize, 0.2f, 0.2f, 0.0f);
}

TEST_F(ResamplerTest, RefusesNullArgumentsAndEmptyGrids)
{
    const std::vector<std::string> files = WriteChain(RandomChain(9));
    void* handle = library.create(files[0].c_str(), files[1].c_str(), files[2].c_str());
    ASSERT_NE(handle, nullptr);
    const ScopeExit destroy([&] { library.destroy(handle); });
    std::vector<float> input(8, 1.0f), output(8, 5.0f);
    const unsigned int two[3] = {2, 2, 2};
    const unsigned int empty[3] = {2, 0, 2};
    const float spacing[3] = {1.0f, 1.0f, 1.0f};
    const float zeroSpacing[3] = {1.0f, 0.0f, 1.0f};
    struct Case
    {
        const char* what;
        void* handle;
        const float* input;
        const unsigned int* inSize;
        const float* inSpacing;
        float* output;
        const unsigned int* outSize;
        const float* outSpacing;
    };
    const Case cases[] = {
        {"null handle", nullptr, input.data(), two, spacing, output.data(), two, spacing},
        {"null input", handle, nullptr, two, spacing, output.data(), two, spacing},
        {"null input size", handle, input.data(), nullptr, spacing, output.data(), two, spacing},
        {"null input spacing", handle, input.data(), two, nullptr, output.data(), two, spacing},
        {"null output", handle, input.data(), two, spacing, nullptr, two, spacing},
        {"null output size", handle, input.data(), two, spacing, output.data(), nullptr, spacing},
        {"null output spacing", handle, input.data(), two, spacing, output.data(), two, nullptr},
        {"empty input", handle, input.data(), empty, spacing, output.data(), two, spacing},
        {"empty output", handle, input.data(), two, spacing, output.data(), empty, spacing},
        {"zero input spacing", handle, input.data(), two, zeroSpacing, output.data(), two, spacing},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(0,
                  library.resample(c.handle, c.input, c.inSize, c.inSpacing, c.output, c.outSize, 0.0f, c.outSpacing))
            << c.what;
        EXPECT_EQ(std::vector<float>(8, 5.0f), output) << c.what << " touched the output";
    }
    library.destroy(nullptr);
}

TEST_F(ResamplerTest, MalformedFilesGiveNoResampler)
{
    const Chain good = RandomChain(11);
    struct Case
    {
        const char* what;
        int file; // 0 permute, 1 affine, 2 bspline
        std::string text;
    };
    const Case cases[] = {
        {"another kind", 0, "Transform = Affine\nPermutation = 0 1 2\nFlip = 0 0 0\nExtent = 1 1 1\n"},
        {"repeated axis", 0, "Transform = PermuteAndFlip\nPermutation = 0 0 2\nFlip = 0 0 0\nExtent = 1 1 1\n"},
        {"flip of 2", 0, "Transform = PermuteAndFlip\nPermutation = 0 1 2\nFlip = 0 2 0\nExtent = 1 1 1\n"},
        {"short matrix", 1, "Transform = Affine\nMatrix = 1 0 0 0 1 0 0 0\nTranslation = 0 0 0\n"},
        {"no translation", 1, "Transform = Affine\nMatrix = 1 0 0 0 1 0 0 0 1\n"},
        {"not a number", 1, "Transform = Affine\nMatrix = 1 0 0 0 one 0 0 0 1\nTranslation = 0 0 0\n"},
        {"not finite", 1, "Transform = Affine\nMatrix = 1 0 0 0 inf 0 0 0 1\nTranslation = 0 0 0\n"},
        {"line without equals", 1, "Transform = Affine\nMatrix 1 0 0 0 1 0 0 0 1\nTranslation = 0 0 0\n"},
        {"too few coefficients", 2,
         "Transform = BSpline\nOrigin = 0 0 0\nSpacing = 1 1 1\nSize = 1 1 1\n"
         "Coefficients = 0 0\n"},
        {"zero spacing", 2,
         "Transform = BSpline\nOrigin = 0 0 0\nSpacing = 1 0 1\nSize = 1 1 1\nCoefficients = 0 0 0\n"},
        {"huge grid", 2,
         "Transform = BSpline\nOrigin = 0 0 0\nSpacing = 1 1 1\nSize = 4096 4096 4096\n"
         "Coefficients = 0 0 0\n"},
        {"fractional size", 2,
         "Transform = BSpline\nOrigin = 0 0 0\nSpacing = 1 1 1\nSize = 1.5 1 1\n"
         "Coefficients = 0 0 0\n"},
        {"empty file", 2, ""},
    };
    for (const Case& c : cases)
    {
        std::vector<std::string> files = WriteChain(good);
        WriteWholeFile(files[c.file], c.text);
        EXPECT_EQ(nullptr, library.create(files[0].c_str(), files[1].c_str(), files[2].c_str())) << c.what;
    }
    const std::vector<std::string> files = WriteChain(good);
    EXPECT_EQ(nullptr, library.create(files[0].c_str(), dir.File("missing.meta").c_str(), files[2].c_str()));
    EXPECT_EQ(nullptr, library.create(nullptr, files[1].c_str(), files[2].c_str()));
    void* handle = library.create(files[0].c_str(), files[1].c_str(), files[2].c_str());
    EXPECT_NE(nullptr, handle);
    library.destroy(handle);
}

} // namespace
