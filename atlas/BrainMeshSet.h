#pragma once

class AnnotationLabel;
class Atlas;
class AtlasSpace;

// The structure surfaces of one atlas space. For now it only knows which structures have a surface file
// in the spaces' "Meshes" folders; loading and drawing them is still to come.
class BrainMeshSet
{
public:
    explicit BrainMeshSet(AtlasSpace* space);
    virtual ~BrainMeshSet() = default;

    BrainMeshSet(const BrainMeshSet&) = delete;
    BrainMeshSet& operator=(const BrainMeshSet&) = delete;

    AtlasSpace* GetSpace() const { return m_space; }

    // Whether a ".msh", ".amsh" or ".ls" file of the label's mesh name exists in the "Meshes" folder of
    // any space of the atlas.
    static bool SpatialObjectFileExists(const AnnotationLabel* label, const Atlas* atlas);

private:
    AtlasSpace* m_space;
};
