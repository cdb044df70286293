#pragma once

#include <string>
#include <vector>

namespace atlasgen
{

// One structure of the synthetic brain as the ontology lists it.
struct Structure
{
    std::string abbreviation;
    std::string name;
    int parent; // index in the model's list, -1 for the root
    unsigned char rgb[3];
    unsigned int annotationValue;
    unsigned int databaseId;
    int depth;
    bool pseudo; // a switch for the scene, never painted into the volume
    int nissl;   // base intensity of the reference volume
};

// The synthetic brain: nested implicit shapes in coordinates normalised to the brain's bounding box
// (x anterior to posterior, y dorsal to ventral, z left to right, mirror-symmetric about z = 0.5).
// The coarse model keeps a handful of structures and paints every finer one with its nearest kept
// ancestor.
class BrainModel
{
public:
    // The atlas id chooses the few database ids that one atlas assigns differently.
    BrainModel(bool coarse, unsigned int atlasId);

    const std::vector<Structure>& Structures() const { return structures_; }
    int Find(const std::string& abbreviation) const; // -1 when absent
    // Index of the structure at a normalised position, -1 outside the brain.
    int Classify(double x, double y, double z) const;
    bool InSubtree(int structure, int ancestor) const;
    // Reference (Nissl-like) intensity at a point of the structure, 0..255.
    unsigned char Nissl(int structure, double x, double y, double z, double micrometres[3]) const;

private:
    int ClassifyFull(double x, double y, double z) const;

    std::vector<Structure> structures_;
    std::vector<int> fromFull_; // full-table index -> kept index (the nearest kept ancestor)
};

} // namespace atlasgen
