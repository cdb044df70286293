#pragma once

class BrainSceneView;
class Image3d;
class TaskProgress;

// A ray-cast volume of a scene view: the atlas image, or the volume grids of the loaded data sets
// combined. For now it draws nothing; it keeps its transfer function and how many grids it holds.
class VolumeRenderer
{
public:
    explicit VolumeRenderer(BrainSceneView* view);
    VolumeRenderer(BrainSceneView* view, Image3d* image);
    virtual ~VolumeRenderer();
    VolumeRenderer(const VolumeRenderer&) = delete;
    VolumeRenderer& operator=(const VolumeRenderer&) = delete;

    // Adds a grid of floats (x fastest) of that size and spacing, or with replace puts it in place of
    // what is loaded.
    virtual void LoadVolume(const float* values, const unsigned int* size, const float* spacing, float scale,
                            bool replace, TaskProgress* progress);
    virtual void EraseVolume();
    virtual void SetTransferFunction(int low, int high, int lowOut, int highOut);
    virtual void Display();
    // The depth (0..1) at a window pixel (origin bottom left); 1 with no volume.
    virtual float GetDepth(int x, int y);

    int GetNumVolumes() const { return m_numVolumes; }
    const int* GetTransferFunction() const { return m_transfer; }
    Image3d* GetImage() const { return m_image; }

private:
    BrainSceneView* m_view;
    Image3d* m_image = nullptr;
    int m_numVolumes = 0;
    int m_transfer[4] = {0, 255, 0, 255};
};
