#pragma once

#include "core/NetEventListener.h"

#include <memory>
#include <string>
#include <vector>

class BrainSceneView;
class NetFile;
class VolumeRenderer;

// The correlation layer of a scene view: each time the probe moves to another voxel (the seed) it asks
// the data server for the seed's correlation volume, unpacks the one raw float grid of the zip reply
// and draws it through its own volume renderer as a maximum intensity projection. Base of the other
// layers that follow the probe (tract probabilities, projection maps).
//
// Failures of a reply are dropped: the layer keeps what it drew before and says nothing. The view
// owns the layer and outlives it. Main thread only; replies arrive on the main run loop, and drawing,
// construction and destruction need the scene's context current.
class KestRenderer : public NetEventListener
{
public:
    // The correlation grid of the rat atlas, at 200 µm.
    static constexpr unsigned int TAV_IMAGE_SIZE[3] = {67, 41, 58};
    static constexpr float TAV_RESOLUTION[3] = {200.0f, 200.0f, 200.0f};

    // Throws std::invalid_argument "Atlas space required for KEST renderer" for a view without an atlas
    // space and "Atlas required for KEST renderer" for a space without an atlas.
    explicit KestRenderer(BrainSceneView* view);
    ~KestRenderer() override;
    KestRenderer(const KestRenderer&) = delete;
    KestRenderer& operator=(const KestRenderer&) = delete;

    void DownloadComplete(const void* data, unsigned long size) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string& mimeType, unsigned long length) override;
    void DataReceived(const void* data, unsigned long size) override;
    virtual void Display();
    // The depth 0..1 of the drawn volume at a window pixel (origin bottom left), 1 where nothing is.
    virtual float GetDepth(int x, int y);
    // position: the model's probe location, fractions 0..1 of the probe space's view box.
    virtual void PositionChanged(const float* position);
    // low and high: a 0..255 window inside the correlation window; lowOut and highOut pass unchanged.
    virtual void SetTransferFunction(int low, int high, int lowOut, int highOut);
    virtual bool GetProbeVisible() const;
    // The seed in whole micrometres; false when the view lacks an atlas space or the space an atlas.
    virtual bool FindLocation(const float* position, unsigned int* location);
    virtual void LoadVolume();

    VolumeRenderer* GetVolumeRenderer() const { return m_volumeRenderer.get(); }
    const unsigned int* GetLastLocation() const { return m_lastLocation; }
    const unsigned int* GetGridSize() const { return m_gridSize; }
    const float* GetGridResolution() const { return m_gridResolution; }
    float GetCorrelationLow() const { return m_correlationLow; }
    float GetCorrelationHigh() const { return m_correlationHigh; }
    const std::vector<float>& GetVolumeBuffer() const { return m_volumeBuffer; }
    bool IsRequesting() const { return m_transfer != nullptr; }

    // The correlation window (low, high) of a pair of spaces of the developing-mouse atlas; false for
    // indices outside the table.
    static bool WindowLevelRange(int probeSpace, int viewSpace, double& low, double& high);

protected:
    // An empty layer with no view, no transfer, no volume renderer and no buffer.
    KestRenderer();

    // The view's atlas space and its atlas, checked.
    void CheckView() const;
    // The correlation request of the seed, or an empty text when this atlas asks for none.
    virtual std::string RequestUrl(const unsigned int* location) const;
    // Aborts the transfer in flight, if any, and forgets it.
    void AbortTransfer();
    // Starts a request; the location becomes the last one only when the transfer started.
    void StartTransfer(const std::string& url, const unsigned int* location);
    void SizeVolumeBuffer();
    // Reads the reply's correlation grid into the volume buffer; throws, keeping the buffer, when the
    // reply holds none of the buffer's size.
    void UnpackVolume(const void* data, unsigned long size);

    BrainSceneView* m_view = nullptr;
    NetFile* m_transfer = nullptr;
    std::unique_ptr<VolumeRenderer> m_volumeRenderer;
    unsigned int m_lastLocation[3] = {0, 0, 0};
    unsigned int m_gridSize[3] = {0, 0, 0};
    float m_gridResolution[3] = {0.0f, 0.0f, 0.0f};
    float m_correlationLow = 0.0f;
    float m_correlationHigh = 1.0f;
    // x fastest; the reply's little-endian floats are this machine's.
    std::vector<float> m_volumeBuffer;
};
