#pragma once

#include "AtlasContext.h"
#include "LabelVolume.h"
#include "Mesh.h"

#include <string>
#include <vector>

namespace atlasgen
{

// A structure's surface, extracted once and written into every space.
struct StructureMesh
{
    int structure;
    Mesh mesh;
};

// The files of one coordinate space: volumes, slices, section lists, sample points, the correlation
// mapping, meshes and, for the microarray atlas, the cortical surfaces and sample values.
class SpaceFiles
{
public:
    struct Sample
    {
        unsigned int id;
        int structure;
        double micrometres[3];
        float size;
    };

    SpaceFiles(const AtlasContext& context, int spaceIndex, const LabelVolume& atlasLabels,
               const LabelVolume& viewLabels, const std::vector<StructureMesh>& meshes);

    void Write(const std::string& folder) const;

    std::vector<Sample> Samples() const;
    std::string SectionList(int plane) const;
    std::string SampleTable(const std::vector<Sample>& samples) const;

private:
    void WriteVolumes(const std::string& folder) const;
    void WriteMapping(const std::string& folder) const;
    void WriteMeshes(const std::string& folder) const;
    void WriteLines(const std::string& path) const;
    void WriteSurfaces(const std::string& folder, const std::vector<Sample>& samples) const;
    void WriteSampleValues(const std::string& path, const std::vector<Sample>& samples) const;
    std::vector<unsigned int> AnnotationValues() const;

    const AtlasContext& c_;
    int index_;
    const LabelVolume& atlas_;
    const LabelVolume& view_;
    const std::vector<StructureMesh>& meshes_;
};

} // namespace atlasgen
