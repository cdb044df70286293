#pragma once

#include "gl/GLTexture.h"

#include <cstddef>
#include <vector>

class AtlasSpace;
class BrainExpressionModel;

// The three orthogonal annotation slices of a scene view: the space's grey reference image overlaid with
// the colour of the structure under each voxel, a millimetre grid and the bregma lines, each on a BGRA
// texture of the atlas grid (plane 0 is d1 x d2, plane 1 d0 x d2, plane 2 d0 x d1), drawn as textured
// quads and ray-picked.
//
// A slice is refilled only when its voxel index changes or after ResetSlices. The fill itself
// (FillSlice) needs no GL. Construction, drawing and destruction need the scene's context current; the
// model and the space are not owned.
class MPRRenderer
{
public:
    // Where a slice's voxels lie in the annotation volume (x fastest, then y, then z).
    struct Layout
    {
        int uAxis;
        int vAxis;
        std::size_t start;
        std::size_t uStep;
        std::size_t rowSkip;
    };

    MPRRenderer(BrainExpressionModel* model, AtlasSpace* space);
    ~MPRRenderer();
    MPRRenderer(const MPRRenderer&) = delete;
    MPRRenderer& operator=(const MPRRenderer&) = delete;

    // The visible slices, under the names name + plane.
    void Display(unsigned int name);
    // Every slice is loaded again at the next draw.
    void ResetSlices();
    void DrawAxialSlice();
    void DrawCoronalSlice();
    void DrawSagittalSlice();
    // A location in atlas voxels along the plane's axis.
    void LoadAxialSlice(float location);
    void LoadCoronalSlice(float location);
    void LoadSagittalSlice(float location);
    // Throws std::runtime_error "Annotation image pixel type not supported" for annotation voxels other
    // than 8- or 16-bit unsigned; the texture and its loaded index then stay as they were, as they do
    // for an annotation volume that is not on the atlas grid.
    void LoadSlice(int plane, int slice, int uAxis, int vAxis, std::size_t start, std::size_t uStep,
                   std::size_t rowSkip);
    // The nearest visible slice along the unit ray (index = plane), or the largest float and -1.
    float HitTest(const float* origin, const float* direction, int& index);

    // The slice index loaded on that plane, -1 when it must be loaded.
    int GetLoadedSlice(int plane) const { return m_loadedSlices[plane]; }
    GLTexture& GetTexture(int plane) { return m_textures[plane]; }

    // The voxel index of a location in atlas voxels along an axis of d voxels.
    static int SliceIndex(float location, unsigned int d);
    static Layout SliceLayout(int plane, int slice, const unsigned int* d);
    // Fills out (d_u x d_v BGRA pixels, rows packed) with slice `slice` of a plane from the model's state
    // and the space's volumes. False, leaving out alone, when the annotation volume is not on the atlas
    // grid; throws as LoadSlice does.
    static bool FillSlice(BrainExpressionModel& model, AtlasSpace& space, int plane, int slice, unsigned char* out);

private:
    void DrawSlice(int plane);
    void LoadPlane(int plane, float location);

    BrainExpressionModel* m_model;
    AtlasSpace* m_space;
    GLTexture m_textures[3];
    int m_loadedSlices[3] = {-1, -1, -1};
};
