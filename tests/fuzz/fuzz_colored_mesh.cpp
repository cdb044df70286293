#include "atlas/BrainOntology.h"
#include "atlas/GLVertexColoredMesh.h"

#include "tests/fuzz/FuzzTempFile.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>

namespace
{

// Labels for the vertices' structure values 0 to 3.
const BrainOntology& Ontology()
{
    static const std::unique_ptr<BrainOntology> ontology = [] {
        const char text[] = "database_id,abbreviation,name,parent,id,red,green,blue,order,mesh_name\n"
                            "900,root,Root,,1,10,20,30,0,root\n"
                            "500,A,Area A,900,2,220,100,0,1,A\n"
                            "700,B,Area B,900,3,0,200,40,2,B\n";
        const std::string path =
            FuzzTempFile::Write("ontology_v2.csv", reinterpret_cast<const std::uint8_t*>(text), sizeof text - 1);
        return std::make_unique<BrainOntology>(path.c_str(), true, true, false);
    }();
    return *ontology;
}

} // namespace

// The input is a .amsh file of either layout; a loaded mesh is also hit-tested and recoloured, which
// walks every group's indices and every vertex's structure.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = FuzzTempFile::Write("mesh.amsh", data, size);
    try
    {
        GLVertexColoredMesh mesh(&Ontology());
        mesh.Load(path.c_str());
        const float origin[3] = {0, 0, 1000}, direction[3] = {0, 0, -1}, box[2] = {-1e30f, 1e30f};
        const AnnotationLabel* label = nullptr;
        mesh.HitTest(origin, direction, box, box, box, label);
        mesh.RecolorByAnnotationLabel();
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
