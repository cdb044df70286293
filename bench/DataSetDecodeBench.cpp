// Decoding data sets from bytes to placed features, beside a bare inflate of the same zip entries and
// Python's zipfile + numpy making the same cells, in the same run.
//
// On a demo-profile atlas 310 (view grid 133 x 81 x 115) it decodes the demo server's full gene zip and
// projection zip and prints, for each, the best time of: the whole decode (GeneExpression from bytes,
// structures and features included), zlib inflating the zip's entries and nothing else, and Python; then
// the ratios. The decode's own stages are timed too, so that a slow one shows. The zip reader inflates
// with libdeflate, the bare inflate is zlib's; the cells of a whole view grid are made on several threads,
// so the machine's load (printed) weighs on the gene figures.
//
// Arguments: [repeats]

#include "BenchSupport.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSet.h"
#include "atlas/AtlasSpace.h"
#include "core/MemoryDefaultsStore.h"
#include "core/MemoryStreamRef.h"
#include "core/PlatformHooks.h"
#include "core/ResourcePath.h"
#include "core/UserPreferences.h"
#include "core/ZipReader.h"
#include "expression/GeneExpression.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace
{
std::string ReadFile(const std::string& path)
{
    std::ifstream stream(path, std::ios::binary);
    if (!stream)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

void Run(const std::string& command)
{
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

double Best(int repeats, const std::function<void()>& work)
{
    double best = 1e30;
    for (int i = 0; i < repeats; ++i)
    {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, SecondsSince(start));
    }
    return best;
}

unsigned int Little(const unsigned char* bytes, int size)
{
    unsigned int value = 0;
    for (int i = 0; i < size; ++i)
        value |= unsigned(bytes[i]) << (8 * i);
    return value;
}

// zlib alone: every entry's deflated bytes inflated into a buffer of its size, nothing checked.
std::size_t BareInflate(const std::string& zip, const std::vector<ZipReader::ZipItem>& items)
{
    std::size_t total = 0;
    std::vector<unsigned char> out;
    for (const ZipReader::ZipItem& item : items)
    {
        const auto* header = reinterpret_cast<const unsigned char*>(zip.data()) + item.localHeaderOffset;
        const unsigned char* data = header + 30 + Little(header + 26, 2) + Little(header + 28, 2);
        out.resize(item.uncompressedSize);
        z_stream stream{};
        inflateInit2(&stream, -MAX_WBITS);
        stream.next_in = const_cast<unsigned char*>(data);
        stream.avail_in = item.compressedSize;
        stream.next_out = out.data();
        stream.avail_out = item.uncompressedSize;
        if (inflate(&stream, Z_FINISH) != Z_STREAM_END)
            throw std::runtime_error("inflate failed for " + item.name);
        inflateEnd(&stream);
        total += item.uncompressedSize;
    }
    return total;
}

struct Figures
{
    double decode = 0;
    double inflate = 0;
    double zipRead = 0;
    double python = 0;
    std::size_t cells = 0;
    std::size_t pythonCells = 0;
};

Figures Measure(const std::string& zip, const Atlas* atlas, int repeats)
{
    Figures figures;
    MemoryStreamRef directoryStream(zip.data(), static_cast<unsigned int>(zip.size()));
    const std::vector<ZipReader::ZipItem> items = ZipReader(&directoryStream).GetDirectory();
    figures.inflate = Best(repeats, [&] { BareInflate(zip, items); });
    // The zip reader's share of the decode: inflating with its checks and the CRC-32 of every entry.
    figures.zipRead = Best(repeats, [&] {
        MemoryStreamRef stream(zip.data(), static_cast<unsigned int>(zip.size()));
        ZipReader reader(&stream);
        std::vector<unsigned char> out;
        for (const ZipReader::ZipItem& item : reader.GetDirectory())
        {
            out.resize(item.uncompressedSize);
            reader.Read(&item, out.data());
        }
    });
    figures.decode = Best(repeats, [&] {
        GeneExpression gene;
        MemoryStreamRef stream(zip.data(), static_cast<unsigned int>(zip.size()));
        gene.LoadAtlasSpace(stream, false, atlas);
        figures.cells = gene.GetExpressors(nullptr)->size();
    });
    return figures;
}
} // namespace

int main(int argc, char** argv)
{
    try
    {
        const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
        const fs::path root = fs::temp_directory_path() / ("corvane-bench-" + std::to_string(getpid()));
        const fs::path atlases = root / "Atlases";
        fs::create_directories(atlases);
        Run(std::string("'") + CORVANE_ATLASGEN + "' --profile demo --id 310 --out '" +
            (atlases / "atlas310").string() + "' > /dev/null");
        const std::string script = std::string(CORVANE_SOURCE_DIR) + "/bench/dataset_zips.py";
        const fs::path zips = root / "zips";
        const fs::path pythonTimes = root / "python.txt";
        Run(std::string("'") + CORVANE_PYTHON + "' '" + script + "' '" + atlases.string() + "' 310 '" + zips.string() +
            "' '" + CORVANE_SOURCE_DIR + "' " + std::to_string(repeats) + " > '" + pythonTimes.string() + "'");

        MemoryDefaultsStore store;
        store.SetValue("UserAtlasPath", root.string());
        PlatformHooks::SetDefaultsStore(&store);
        UserPreferences::ResetPreferences();
        ResourcePath::ClearCache();
        AtlasSet::GetAtlases()->Reload();
        const std::shared_ptr<Atlas> atlas = AtlasSet::GetAtlasWithId(310);
        if (!atlas)
            throw std::runtime_error("the generated atlas did not load");
        const unsigned int* dims = atlas->GetSpace(0u)->GetViewDimensions();
        std::printf("atlas 310 demo profile, view grid %u x %u x %u, best of %d, %u hardware threads\n", dims[0],
                    dims[1], dims[2], repeats, std::thread::hardware_concurrency());
        const std::string load = LoadAverage();
        bool met = true;

        std::map<std::string, std::pair<double, std::size_t>> python;
        std::istringstream lines(ReadFile(pythonTimes.string()));
        for (std::string tag, kind; lines >> tag >> kind;)
            lines >> python[kind].first >> python[kind].second;

        for (const char* kind : {"gene", "projection"})
        {
            const std::string zip = ReadFile((zips / (std::string(kind) + ".zip")).string());
            // The first decode builds the view-grid annotation of the atlas once for all.
            GeneExpression warm;
            MemoryStreamRef warmStream(zip.data(), static_cast<unsigned int>(zip.size()));
            warm.LoadAtlasSpace(warmStream, false, atlas.get());
            Figures figures = Measure(zip, atlas.get(), repeats);
            figures.python = python[kind].first;
            std::printf("%s: %zu bytes, %zu cells (python %zu)\n", kind, zip.size(), figures.cells,
                        python[kind].second);
            std::printf("  decode %.3f ms, bare inflate %.3f ms, zip reader (inflate + CRC) %.3f ms, python %.3f ms\n",
                        figures.decode * 1e3, figures.inflate * 1e3, figures.zipRead * 1e3, figures.python * 1e3);
            std::printf("  decode / bare inflate %.2f, decode / zip reader %.2f, python / decode %.2f\n",
                        figures.decode / figures.inflate, figures.decode / figures.zipRead,
                        figures.python / figures.decode);
            met = met && figures.decode <= 1.3 * figures.inflate;
        }
        std::printf("goal: decode within 1.3 x bare zlib inflate, both kinds: %s\n", met ? "met" : "NOT MET");
        std::printf("load average (1 and 5 minutes) at the start: %s, at the end: %s\n", load.c_str(),
                    LoadAverage().c_str());
        PlatformHooks::SetDefaultsStore(nullptr);
        std::error_code ignored;
        fs::remove_all(root, ignored);
        return 0;
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
