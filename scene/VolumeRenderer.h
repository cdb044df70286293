#pragma once

#include <memory>
#include <string>

class AtlasCube;
class BrainSceneView;
class Colormap;
class GLShaderProgram;
class Image3d;

// One 8-bit volume of a scene view drawn by GPU ray casting. The box of the volume, cut by the cutting
// planes, is drawn off-screen into a 512 x 512 image twice: its back faces (with the visible slice planes
// and structure meshes, which end the rays early) tell each ray where it leaves, then its front faces
// march the rays through the volume texture. The image is blended over the scene with its depth.
//
// A volume loaded into the renderer's own image (the data sets' grids, a correlation volume) is drawn as
// a maximum intensity projection in the atlas's green-red colours and leaves the scene's depth alone; a
// volume handed to the constructor (the atlas image) is composited in grey and writes depth.
//
// Owns its GL objects; drawing, depth queries and destruction need the scene's context current.
class VolumeRenderer
{
public:
    explicit VolumeRenderer(BrainSceneView* view);
    // The image must hold unsigned chars; it stays the caller's and must outlive the renderer.
    VolumeRenderer(BrainSceneView* view, const Image3d* image);
    virtual ~VolumeRenderer();
    VolumeRenderer(const VolumeRenderer&) = delete;
    VolumeRenderer& operator=(const VolumeRenderer&) = delete;

    virtual void Display();
    // The depth (0 to 1) of the rendered volume at a window pixel counted from the bottom left; 1 where
    // there is nothing, or without a volume. Leaves the image on screen alone.
    virtual float GetDepth(int x, int y);
    // Window A picks the voxel values that show (ramped from low to high), window B the part of that
    // ramp the colours span. Values are clamped to 0..255; an empty window is widened by one.
    virtual void SetTransferFunction(int lowA, int highA, int lowB, int highB);
    // Quantises value x scale x 255 into the own image, replacing it, or (replace false, while the own
    // image is drawn) keeping the voxel-wise maximum with it, which then needs the same size and spacing.
    // A colour hint makes the renderer take its colormap now. Throws std::runtime_error and keeps the
    // previous volume when the grids disagree.
    virtual void LoadVolume(const float* values, const unsigned int* size, const float* resolution, float scale,
                            bool replace, const float* colorHint);
    // A raw file of floats (isFloat) handed to LoadVolume, or a raw 8-bit volume file.
    virtual void LoadVolumeFile(const char* path, const unsigned int* size, const float* resolution, bool isFloat,
                                float scale);
    virtual void EraseVolume();
    // Uploads the volume reduced by at least `factor` (more when the driver refuses the size).
    virtual void LoadVolumeTexture(const Image3d* volume, unsigned int factor, bool smooth);
    // One quad over (0, 0)..(width, height) with texture coordinates 0..1.
    virtual void DrawRect(int width, int height);
    // Draws; with a pixel (x, y >= 0) draws into the renderer's own window-sized framebuffer instead and
    // answers the depth there.
    virtual float Render(int x, int y);

    const Image3d* GetCurrentVolume() const { return m_currentVolume; }
    const Image3d& GetOwnImage() const { return *m_ownImage; }
    // A low, A high, B low, B high.
    void GetTransferWindows(int* windows) const;
    const unsigned int* GetVolumeSize() const { return m_volumeSize; }
    const float* GetVolumeTextureFraction() const { return m_volumeTextureFraction; }
    float GetStepSize() const { return m_stepSize; }
    unsigned int GetVolumeTexture() const { return m_volumeTexture; }
    unsigned int GetTransferTexture() const { return m_transferTexture; }

    // The largest side the volume is drawn with; larger volumes start reduced.
    static constexpr unsigned int kMaxSide = 512;
    // Side of the off-screen image the rays are cast into.
    static constexpr int kImageSide = 512;

protected:
    // Where the shader files are: "Shaders" in the program data folder.
    virtual std::string GetShaderFolder() const;

private:
    void SetUpOffscreen();
    void UpdateTransferTexture(bool maximumIntensity);
    void UpdateVolumeTexture();
    void BuildPrograms(bool maximumIntensity);
    void DrawBackFaces(AtlasCube& cube);
    void CastRays(AtlasCube& cube);
    void Composite(bool query, bool maximumIntensity);
    // Device pixels of the query framebuffer.
    float ReadDepth(int x, int y);
    void SetUpQueryFramebuffer(int width, int height);
    const Colormap* GetColormap();
    void VolumeReplaced();

    BrainSceneView* m_view;
    const Image3d* m_currentVolume = nullptr;
    std::shared_ptr<Image3d> m_ownImage;
    unsigned int m_volumeTexture = 0;
    unsigned int m_imageTexture = 0;
    unsigned int m_backFaceTexture = 0;
    unsigned int m_depthTexture = 0;
    unsigned int m_transferTexture = 0;
    unsigned int m_framebuffer = 0;
    unsigned int m_depthRenderbuffer = 0;
    std::unique_ptr<GLShaderProgram> m_backFaceProgram;
    std::unique_ptr<GLShaderProgram> m_rayCastProgram;
    std::unique_ptr<GLShaderProgram> m_depthProgram;
    int m_offscreenSize[2] = {0, 0};
    unsigned int m_volumeSize[3] = {0, 0, 0};
    float m_volumeTextureFraction[3] = {0.0f, 0.0f, 0.0f};
    float m_stepSize = 0.5f;
    float m_transparency = 0.7f;
    bool m_transferChanged = true;
    bool m_volumeChanged = true;
    int m_windowA[2] = {25, 250};
    int m_windowB[2] = {0, 255};
    const Colormap* m_colormap = nullptr;
    // Depth queries draw here, never on screen.
    unsigned int m_queryFramebuffer = 0;
    unsigned int m_queryColor = 0;
    unsigned int m_queryDepth = 0;
    int m_querySize[2] = {0, 0};
};
