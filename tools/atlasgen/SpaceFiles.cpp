#include "SpaceFiles.h"

#include "BinaryFile.h"
#include "CorticalSurface.h"
#include "JpegWriter.h"
#include "LocalData.h"
#include "MeshFiles.h"
#include "Noise.h"
#include "Probes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

namespace atlasgen
{

namespace
{

// The correlation service's grid: 67 x 41 x 58 voxels of 200 µm.
const int kCorrelationGrid[3] = {67, 41, 58};
const float kCorrelationSpacing = 200.0f;

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    BinaryFile file(path);
    file.Bytes(bytes.data(), bytes.size());
    file.Close();
}

} // namespace

SpaceFiles::SpaceFiles(const AtlasContext& context, int spaceIndex, const LabelVolume& atlasLabels,
                       const LabelVolume& viewLabels, const std::vector<StructureMesh>& meshes)
    : c_(context)
    , index_(spaceIndex)
    , atlas_(atlasLabels)
    , view_(viewLabels)
    , meshes_(meshes)
{
}

void SpaceFiles::Write(const std::string& folder) const
{
    namespace fs = std::filesystem;
    fs::create_directories(folder);
    WriteVolumes(folder);
    WriteTextFile(folder + "/coronal_images.xml", SectionList(0));
    WriteTextFile(folder + "/sagittal_images.xml", SectionList(1));
    const std::vector<Sample> samples = Samples();
    WriteTextFile(folder + "/samples_columns.csv", SampleTable(samples));
    WriteMapping(folder);
    LocalData(c_, samples).Write(folder);
    WriteMeshes(folder);
    if (c_.identity.microarray)
    {
        WriteSurfaces(folder, samples);
        WriteSampleValues(folder + "/samples.raw", samples);
    }
}

std::vector<unsigned int> SpaceFiles::AnnotationValues() const
{
    std::vector<unsigned int> values;
    for (const Structure& s : c_.model.Structures())
        values.push_back(s.annotationValue);
    return values;
}

void SpaceFiles::WriteVolumes(const std::string& folder) const
{
    const std::vector<unsigned int> values = AnnotationValues();
    const std::size_t count = atlas_.Count();
    const int bytesPerVoxel = c_.profile.sixteenBit ? 2 : 1;
    std::vector<unsigned char> annotation(count * bytesPerVoxel), nissl(count);
    const float r = atlas_.Resolution();
    std::size_t i = 0;
    for (int z = 0; z < atlas_.Dim(2); ++z)
        for (int y = 0; y < atlas_.Dim(1); ++y)
            for (int x = 0; x < atlas_.Dim(0); ++x, ++i)
            {
                const int s = atlas_.AtIndex(i);
                const unsigned int value = s < 0 ? 0u : values[static_cast<std::size_t>(s)];
                annotation[i * bytesPerVoxel] = static_cast<unsigned char>(value);
                if (bytesPerVoxel == 2)
                    annotation[i * 2 + 1] = static_cast<unsigned char>(value >> 8);
                double um[3] = {(x + 0.5) * r, (y + 0.5) * r, (z + 0.5) * r};
                nissl[i] = c_.model.Nissl(s, um[0] / c_.extent[0], um[1] / c_.extent[1], um[2] / c_.extent[2], um);
            }
    WriteBytes(folder + "/Annotation", annotation);
    WriteBytes(folder + "/Atlas", nissl);

    const std::string slices = folder + "/AtlasSlices";
    std::filesystem::create_directories(slices);
    const std::size_t sliceSize = static_cast<std::size_t>(atlas_.Dim(0)) * atlas_.Dim(1);
    for (int z = 0; z < atlas_.Dim(2); ++z)
    {
        char name[32];
        std::snprintf(name, sizeof name, "/%03d.jpg", z);
        JpegWriter::WriteGray(slices + name, nissl.data() + sliceSize * z, atlas_.Dim(0), atlas_.Dim(1), 80);
    }
}

std::string SpaceFiles::SectionList(int plane) const
{
    // Coronal sections cut x, sagittal ones cut z; an image pixel is a quarter of an atlas voxel.
    const int cut = plane == 0 ? 0 : 2, across = plane == 0 ? 2 : 0;
    const float pixel = c_.profile.atlasResolution / 4.0f;
    const int width = 4 * c_.profile.atlasDims[across], height = 4 * c_.profile.atlasDims[1];
    const std::string inv = Number(1.0 / pixel), p = Number(pixel);
    const std::string trv =
        plane == 0 ? "0,0," + inv + ",0," + inv + ",0,1,0,0,0,0,0" : inv + ",0,0,0," + inv + ",0,0,0,1,0,0,0";
    const std::string tvr =
        plane == 0 ? "0,0,1,0," + p + ",0," + p + ",0,0,0,0,0" : p + ",0,0,0," + p + ",0,0,0,1,0,0,0";
    const char* planeName = plane == 0 ? "coronal" : "sagittal";
    const std::string& space = c_.identity.spaces[static_cast<std::size_t>(index_)].name;
    std::ostringstream x;
    x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<image-series>\n"
      << "  <id>" << 100000 + 10 * index_ + plane << "</id>\n"
      << "  <atlas-id>" << c_.identity.id << "</atlas-id>\n"
      << "  <reference-space>" << space << "</reference-space>\n"
      << "  <plane-of-section>" << planeName << "</plane-of-section>\n"
      << "  <trv>" << trv << "</trv>\n  <tvr>" << tvr << "</tvr>\n  <images>\n";
    for (int k = 0; k < c_.profile.atlasDims[cut]; k += c_.profile.sectionStride)
    {
        x << "    <image>\n"
          << "      <id>" << 1000000 + 100000 * index_ + 10000 * plane + k << "</id>\n"
          << "      <section-index>" << k << "</section-index>\n"
          << "      <imagepath>sections/" << c_.identity.id << '/' << space << '/' << planeName << '/' << k
          << "</imagepath>\n"
          << "      <width>" << width << "</width>\n      <height>" << height << "</height>\n"
          << "      <left>0</left>\n      <top>0</top>\n"
          << "      <parentimagewidth>" << width << "</parentimagewidth>\n"
          << "      <parentimageheight>" << height << "</parentimageheight>\n"
          << "      <z-value>" << static_cast<int>((k + 0.5) * c_.profile.atlasResolution) << "</z-value>\n"
          << "      <tsv>1,0,0,1,0,0</tsv>\n      <tvs>1,0,0,1,0,0</tvs>\n"
          << "    </image>\n";
    }
    x << "  </images>\n</image-series>\n";
    return x.str();
}

std::vector<SpaceFiles::Sample> SpaceFiles::Samples() const
{
    const BrainModel& model = c_.model;
    const int cortex = model.Find("Cx");
    std::vector<Sample> samples;
    const auto space = static_cast<std::uint32_t>(index_);
    for (int k = 0; k < c_.profile.samplesPerSpace; ++k)
    {
        for (std::uint32_t attempt = 0; attempt < 1000; ++attempt)
        {
            const auto key = static_cast<std::uint32_t>(k);
            int v[3];
            for (int a = 0; a < 3; ++a)
                v[a] = static_cast<int>(Noise::Unit(space, key, attempt, 40u + a) * atlas_.Dim(a));
            const int s = atlas_.At(v[0], v[1], v[2]);
            if (s < 0)
                continue;
            // Microarray samples come mostly from the cortex, which the surfaces show.
            if (c_.identity.microarray && !model.InSubtree(s, cortex) && Noise::Unit(space, key, attempt, 50u) > 0.3)
                continue;
            Sample sample;
            sample.id = (c_.identity.microarray ? 300000u : 2000000u) + 1000u * space + key;
            sample.structure = s;
            for (int a = 0; a < 3; ++a)
                sample.micrometres[a] = (v[a] + 0.5) * atlas_.Resolution();
            sample.size = static_cast<float>(0.05 + 0.45 * Noise::Unit(space, key, 60u));
            samples.push_back(sample);
            break;
        }
    }
    return samples;
}

std::string SpaceFiles::SampleTable(const std::vector<Sample>& samples) const
{
    std::ostringstream x;
    const bool wells = c_.identity.microarray;
    x << (wells ? "well_id,structure_id,x,y,z\n" : "data_set_id,structure_id,injection_size,x,y,z\n");
    for (const Sample& s : samples)
    {
        x << s.id << ',' << c_.model.Structures()[static_cast<std::size_t>(s.structure)].databaseId << ',';
        if (!wells)
            x << Number(s.size) << ',';
        x << Number(s.micrometres[0]) << ',' << Number(s.micrometres[1]) << ',' << Number(s.micrometres[2]) << '\n';
    }
    return x.str();
}

void SpaceFiles::WriteMapping(const std::string& folder) const
{
    std::filesystem::create_directories(folder + "/Transforms");
    std::vector<unsigned char> bytes(view_.Count() * 6);
    std::size_t i = 0;
    for (int z = 0; z < view_.Dim(2); ++z)
        for (int y = 0; y < view_.Dim(1); ++y)
            for (int x = 0; x < view_.Dim(0); ++x, ++i)
            {
                const int v[3] = {x, y, z};
                for (int a = 0; a < 3; ++a)
                {
                    int g = -1;
                    if (view_.AtIndex(i) >= 0)
                    {
                        g = static_cast<int>((v[a] + 0.5f) * view_.Resolution() / kCorrelationSpacing);
                        g = std::min(g, kCorrelationGrid[a] - 1);
                    }
                    const auto word = static_cast<std::uint16_t>(static_cast<std::int16_t>(g));
                    bytes[i * 6 + a * 2] = static_cast<unsigned char>(word);
                    bytes[i * 6 + a * 2 + 1] = static_cast<unsigned char>(word >> 8);
                }
            }
    WriteBytes(folder + "/Transforms/Mapping", bytes);
}

void SpaceFiles::WriteMeshes(const std::string& folder) const
{
    const std::string meshes = folder + "/Meshes";
    std::filesystem::create_directories(meshes);
    const std::vector<unsigned int> values = AnnotationValues();
    const auto& list = c_.model.Structures();
    for (const StructureMesh& m : meshes_)
    {
        const std::string& name = list[static_cast<std::size_t>(m.structure)].abbreviation;
        // A few surfaces carry their child areas per vertex; the coarse brain has too few areas, so
        // there the whole cortex does.
        const bool colored = name == "Iso" || name == "CBX" || (c_.profile.coarse && name == "Cx");
        if (colored)
            MeshFiles::WriteColored(meshes + "/" + name + ".amsh", m.mesh, values);
        else
            MeshFiles::WriteStrips(meshes + "/" + name + ".msh", m.mesh);
    }
    if (c_.model.Find("ac") >= 0)
        WriteLines(meshes + "/ac.ls");
}

void SpaceFiles::WriteLines(const std::string& path) const
{
    // Fibres of the anterior commissure: a bundle crossing the mid-plane, in mesh-file units.
    std::vector<MeshFiles::Polyline> lines;
    const int count = c_.profile.coarse ? 8 : 24, points = c_.profile.coarse ? 12 : 40;
    for (int l = 0; l < count; ++l)
    {
        const double dx = 0.02 * (Noise::Unit(l, 70u) - 0.5), dy = 0.02 * (Noise::Unit(l, 71u) - 0.5);
        const double phase = Noise::Unit(l, 72u);
        MeshFiles::Polyline line;
        for (int i = 0; i < points; ++i)
        {
            const double t = static_cast<double>(i) / (points - 1);
            const double n[3] = {0.36 + dx + 0.004 * Noise::Wave(phase + 1.5 * t),
                                 0.60 + dy + 0.02 * (1 - 4 * (t - 0.5) * (t - 0.5)), 0.32 + 0.36 * t};
            std::array<float, 3> p{};
            for (int a = 0; a < 3; ++a)
                p[a] = static_cast<float>(n[a] * c_.extent[a] / c_.meshResolution);
            line.push_back(p);
        }
        lines.push_back(line);
    }
    MeshFiles::WriteLines(path, lines);
}

void SpaceFiles::WriteSurfaces(const std::string& folder, const std::vector<Sample>& samples) const
{
    std::vector<CorticalSurface::Hit> hits;
    const std::vector<unsigned int> values = AnnotationValues();
    for (int side : {1, -1})
    {
        const Mesh surface = CorticalSurface::Build(c_, side, samples, hits);
        MeshFiles::WriteColored(folder + "/Meshes/" + (side > 0 ? "rh" : "lh") + ".inflated.amsh", surface, values);
    }
    BinaryFile file(folder + "/inflated_surface_samples");
    file.U32(0x99118822u);
    file.U16(1);
    file.U32(static_cast<std::uint32_t>(hits.size()));
    for (const CorticalSurface::Hit& hit : hits)
    {
        file.U32(hit.sampleId);
        for (float p : hit.position)
            file.F32(p);
    }
    file.Close();
}

void SpaceFiles::WriteSampleValues(const std::string& path, const std::vector<Sample>& samples) const
{
    BinaryFile file(path);
    std::vector<float> row(samples.size());
    for (int p = 0; p < c_.profile.probes; ++p)
    {
        double sum = 0.0, squares = 0.0;
        for (std::size_t k = 0; k < samples.size(); ++k)
        {
            const unsigned int db = c_.model.Structures()[static_cast<std::size_t>(samples[k].structure)].databaseId;
            row[k] = Probes::Level(p, db, samples[k].micrometres);
            sum += row[k];
            squares += static_cast<double>(row[k]) * row[k];
        }
        const double n = samples.empty() ? 1.0 : static_cast<double>(samples.size());
        const double mean = sum / n;
        file.F32(static_cast<float>(mean));
        file.F32(static_cast<float>(std::sqrt(std::max(0.0, squares / n - mean * mean))));
        for (float v : row)
            file.F32(v);
    }
    file.Close();
}

} // namespace atlasgen
