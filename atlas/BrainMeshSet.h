#pragma once

#include "atlas/GeneralAnnotationSelector.h"
#include "gl/GLName.h"

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class AnnotationLabel;
class Atlas;
class AtlasSpace;
class BrainOntology;
class GLObject;
class GLTriangleMesh;
class MicroarraySamples;
class SampleColoringState;

// Mesh file paths: folder / "Meshes" / (name + "." + extension).
std::string ObjectFilePath(const std::string& name, const std::string& folder, const std::string& extension);
std::string MeshPath(const std::string& name, const std::string& folder);
std::string AnnotatedMeshPath(const std::string& name, const std::string& folder);
std::string LinesPath(const std::string& name, const std::string& folder);

// The structure surfaces of one atlas space: one record per ontology label (structure i is label i),
// whose surface is found in the space's "Meshes" folder by the label's mesh name (".msh" before ".amsh"
// before ".ls") and loaded on first use. Draws the chosen structures with the selected one highlighted,
// picks them by GL name or by ray, gives a structure's centre for camera moves and writes a POV-Ray scene.
// Main thread only; drawing and the display lists need the scene's GL context current.
class BrainMeshSet
{
public:
    struct Structure
    {
        const AnnotationLabel* label = nullptr;
        // Loaded for drawing: a triangle mesh's display list is recorded.
        bool loaded = false;
        // The GLVertexColoredMesh or GLLines of the structure.
        std::shared_ptr<GLObject> object;
        // The triangle mesh of a structure with a ".msh" file.
        std::shared_ptr<GLTriangleMesh> mesh;
        // Centre of the mesh in view coordinates; 0 until a ".msh" or ".amsh" file is loaded.
        float centroid[3] = {0.0f, 0.0f, 0.0f};
        // Draw colour in [0, 1].
        float color[3] = {0.0f, 0.0f, 0.0f};
        // Its file could not be read while drawing: logged once and drawn empty from then on.
        bool failed = false;
    };

    using Selector = GeneralAnnotationSelector<unsigned long long>;

    // Touches no file. Throws what the atlas throws when its ontology cannot be built.
    explicit BrainMeshSet(AtlasSpace* space);
    virtual ~BrainMeshSet();

    BrainMeshSet(const BrainMeshSet&) = delete;
    BrainMeshSet& operator=(const BrainMeshSet&) = delete;

    // Draws the structures whose selector meets `selector` (structure 1 not while volume rendering is on),
    // `selected` in green, the others in 0.7 x their colour, each under the GL name label index + nameBase.
    // A structure whose file cannot be read is written to the log once and left empty. Throws
    // std::runtime_error when the GL gives no display lists.
    virtual void Draw(Selector selector, const AnnotationLabel* selected, bool pick, int nameBase, int, int);
    // The nearest structure on the ray among those already loaded. With preferInner a farther hit on a
    // structure inside the one found so far (starting with the caller's label) wins.
    virtual float HitTest(Selector selector, bool preferInner, const float* rayOrigin, const float* rayDirection,
                          const float* range1, const float* range2, const float* range3, const AnnotationLabel*& label);
    // The centre of the structure, or of its nearest ancestor whose centre has a positive component;
    // loads meshes as needed and throws their loaders' errors.
    virtual const float* GetCentroid(const AnnotationLabel* label);
    // The structure's object (null for one with only a ".msh" mesh or none), loaded if needed; throws the
    // loaders' errors.
    virtual std::shared_ptr<GLObject> GetObject(const AnnotationLabel* label);
    // Colours the structures by the microarray samples in them: without data each takes its label colour;
    // else every structure turns grey (0.33) and the structure of each sample that passes the model's
    // threshold takes the sample's colour (its own colour in the atlas colour mode), the selected
    // expressor's structure green. Without a table to colour by, outside the atlas mode, nothing changes.
    virtual void ColorByExpressionLevel(const SampleColoringState* model, AtlasSpace* space,
                                        const MicroarraySamples* data);
    // Writes folder + "mesh_usage.pov" and folder + name + ".pov" for every chosen structure with a ".msh"
    // file (no separator added). Structures whose mesh is missing or unreadable are left out. Throws
    // std::runtime_error "File could not be written." when "mesh_usage.pov" cannot be written.
    virtual void ExportPOVRay(Selector selector, const char* folder);

    // Loads the structure's surface if it has none; with compileList also records a triangle mesh's
    // display list when the lists exist. Throws the loaders' errors, storing nothing.
    void LoadObject(int index, const AnnotationLabel* label, bool compileList);
    void DrawInternal(const Selector& selector, const AnnotationLabel* selected, bool pick, int nameBase);

    // Whether a ".msh", ".amsh" or ".ls" file of the label's mesh name exists in the "Meshes" folder of
    // any space of the atlas.
    static bool SpatialObjectFileExists(const AnnotationLabel* label, const Atlas* atlas);

    AtlasSpace* GetSpace() const { return m_space; }
    const std::vector<Structure>& GetStructures() const { return m_structures; }

private:
    Structure* Find(const AnnotationLabel* label);
    bool Skipped(std::size_t index, const Selector& selector, bool volumeRendering) const;
    void LoadForDrawing(std::size_t index);
    void SetCentroid(Structure& structure, const float* centroid) const;
    static void SetLabelColor(Structure& structure);
    void ExportStructure(const Structure& structure, const char* folder, std::ostream& usage) const;

    AtlasSpace* m_space;
    // Keeps the labels that the structures point to alive.
    std::shared_ptr<BrainOntology> m_ontology;
    std::vector<Structure> m_structures;
    std::string m_path;
    // Structure i draws from list first + i.
    GLName m_displayLists;
    float m_scale[3] = {1.0f, 1.0f, 1.0f};
    float m_offset[3] = {0.0f, 0.0f, 0.0f};
};
