// How long users wait for volumes, beside the plain reads of the same files in the same run.
//
// LoadFullAtlas of the demo atlas 310 (written by corvane-atlasgen: a 266 × 162 × 230 16-bit annotation
// and 8-bit Nissl volume) against numpy.fromfile of the same two files, and NiftiReader against nibabel
// on a 256 × 256 × 200 uint16 gzip-compressed NIfTI-1 file that this benchmark writes. Medians of several
// rounds, files in the page cache (one untimed round first) for both sides.
//
// Arguments: [rounds]

#include "BenchSupport.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "core/FileStream.h"
#include "core/Image3d.h"
#include "core/MemoryDefaultsStore.h"
#include "core/NiftiReader.h"
#include "core/PlatformHooks.h"
#include "core/ResourcePath.h"
#include "core/UserPreferences.h"

#include <boost/filesystem.hpp>
#include <boost/thread/thread.hpp>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fs = boost::filesystem;

namespace
{
void Put16(std::vector<unsigned char>& header, std::size_t offset, int value)
{
    header[offset] = static_cast<unsigned char>(value & 0xFF);
    header[offset + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

void Put32(std::vector<unsigned char>& header, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        header[offset + std::size_t(i)] = static_cast<unsigned char>(value >> (8 * i));
}

void PutFloat(std::vector<unsigned char>& header, std::size_t offset, float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    Put32(header, offset, bits);
}

// A NIfTI-1 single file: 348-byte header, 4 bytes of extension flags, the voxels at offset 352, gzip
// compressed. The voxels are smooth blobs with noise, compressing about as a scan does.
bool WriteNifti(const std::string& path, int x, int y, int z)
{
    std::vector<unsigned char> header(352, 0);
    Put32(header, 0, 348);
    const int dims[8] = {3, x, y, z, 1, 1, 1, 1};
    for (int i = 0; i < 8; ++i)
        Put16(header, 40 + 2 * std::size_t(i), dims[i]);
    Put16(header, 70, 512); // datatype: unsigned 16-bit
    Put16(header, 72, 16);  // bits per voxel
    for (int i = 0; i < 4; ++i)
        PutFloat(header, 76 + 4 * std::size_t(i), i == 0 ? 1.0f : 0.5f);
    PutFloat(header, 108, 352.0f);
    PutFloat(header, 112, 1.0f); // scl_slope
    std::memcpy(header.data() + 344, "n+1", 4);

    std::vector<std::uint16_t> voxels(std::size_t(x) * y * z);
    std::uint32_t noise = 12345;
    std::size_t i = 0;
    for (int k = 0; k < z; ++k)
        for (int j = 0; j < y; ++j)
            for (int l = 0; l < x; ++l, ++i)
            {
                noise = noise * 1664525u + 1013904223u;
                const int blob = ((l / 32 + j / 24 + k / 20) % 4) * 900;
                voxels[i] = static_cast<std::uint16_t>(blob + int(noise >> 28));
            }
    gzFile file = gzopen(path.c_str(), "wb6");
    if (!file)
        return false;
    bool ok = gzwrite(file, header.data(), unsigned(header.size())) == int(header.size());
    const char* bytes = reinterpret_cast<const char*>(voxels.data());
    const std::size_t total = voxels.size() * sizeof(std::uint16_t);
    for (std::size_t done = 0; ok && done < total; done += 1 << 20)
    {
        const unsigned n = unsigned(std::min<std::size_t>(1 << 20, total - done));
        ok = gzwrite(file, bytes + done, n) == int(n);
    }
    return gzclose(file) == Z_OK && ok;
}

std::map<std::string, double> RunPython(int rounds, const std::string& annotation, const std::string& atlas,
                                        const std::string& nifti)
{
    const std::string command = "/usr/bin/python3 '" + std::string(CORVANE_SOURCE_DIR) + "/bench/volumes_python.py' " +
                                std::to_string(rounds) + " '" + annotation + "' '" + atlas + "' '" + nifti + "'";
    std::map<std::string, double> times;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return times;
    char name[32];
    double seconds;
    while (std::fscanf(pipe, "%31s %lf", name, &seconds) == 2)
        times[name] = seconds;
    pclose(pipe);
    return times;
}

double Ratio(double ours, double theirs)
{
    return theirs > 0 ? ours / theirs : 0.0;
}
} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 7;
    const fs::path root = fs::temp_directory_path() / fs::unique_path("corvane-bench-%%%%-%%%%");
    const std::string folder = (root / "Atlases" / "demo310").string();
    fs::create_directories(root / "Atlases");
    MemoryDefaultsStore store;
    store.SetValue("UserAtlasPath", root.string());
    PlatformHooks::SetDefaultsStore(&store);
    UserPreferences::ResetPreferences();
    ResourcePath::ClearCache();

    const std::string generate =
        std::string("'") + CORVANE_ATLASGEN + "' --profile demo --id 310 --out '" + folder + "' > /dev/null";
    const std::string nifti = (root / "volume.nii.gz").string();
    if (std::system(generate.c_str()) != 0 || !WriteNifti(nifti, 256, 256, 200))
    {
        std::fprintf(stderr, "could not write the benchmark's files under %s\n", root.string().c_str());
        return 1;
    }
    int status = 0;
    {
        Atlas atlas(folder);
        AtlasSpace* space = atlas.GetSpace(0u);
        const unsigned int* size = space->GetAtlasDimensions();
        const std::string spaceFolder = folder + "/Spaces/" + space->GetName();
        const std::string annotation = spaceFolder + "/Annotation";
        const std::string nissl = spaceFolder + "/Atlas";
        std::printf("Volume loads, %u hardware threads, medians of %d rounds (files in the page cache)\n",
                    std::max(1u, boost::thread::hardware_concurrency()), rounds);
        std::printf("Python (numpy, nibabel) runs first, in the same run...\n");
        std::fflush(stdout);
        const std::map<std::string, double> python = RunPython(rounds, annotation, nissl, nifti);

        auto loadAtlas = [&] {
            space->ReleaseMemory();
            space->LoadFullAtlas(nullptr, true, true);
        };
        const double load = MedianSeconds(rounds, loadAtlas, 1);
        std::size_t niftiVoxels = 0;
        auto readNifti = [&] {
            FileStream stream(nifti.c_str(), std::ios::in | std::ios::binary);
            NiftiReader read(&stream);
            niftiVoxels = read.GetImage()->GetNumVoxels();
        };
        const double reader = MedianSeconds(rounds, readNifti, 1);
        const double fromFile = python.count("fromfile") ? python.at("fromfile") : 0.0;
        const double nibabel = python.count("nibabel") ? python.at("nibabel") : 0.0;
        const double bytes = double(fs::file_size(annotation) + fs::file_size(nissl));
        std::printf("\n%-44s %9s %9s %9s %10s\n", "", "ours ms", "peer ms", "ours/peer", "ours MB/s");
        std::printf("%-44s %9.1f %9.1f %9.2f %10.0f\n", "LoadFullAtlas demo 310 vs numpy.fromfile", load * 1e3,
                    fromFile * 1e3, Ratio(load, fromFile), bytes / load / 1e6);
        std::printf("%-44s %9.1f %9.1f %9.2f %10.0f\n", "NiftiReader 256x256x200 u16 .nii.gz vs nibabel", reader * 1e3,
                    nibabel * 1e3, Ratio(reader, nibabel), double(niftiVoxels) * 2 / reader / 1e6);
        std::printf("(atlas %u x %u x %u, %.1f MB in two files; MB/s of voxels delivered)\n", size[0], size[1], size[2],
                    bytes / 1e6);
        std::printf("goal: LoadFullAtlas within 1.2 x numpy.fromfile: %s\n",
                    Ratio(load, fromFile) <= 1.2 ? "met" : "NOT MET");
        std::printf("goal: NiftiReader no slower than nibabel: %s\n",
                    Ratio(reader, nibabel) <= 1.0 ? "met" : "NOT MET");
        status = python.size() == 2 && niftiVoxels == 256u * 256u * 200u ? 0 : 1;
    }
    PlatformHooks::SetDefaultsStore(nullptr);
    boost::system::error_code ignored;
    fs::remove_all(root, ignored);
    return status;
}
