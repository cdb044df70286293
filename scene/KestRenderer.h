#pragma once

class BrainSceneView;

// The correlation volume downloaded for the probe's position, drawn as a maximum intensity projection.
// Base of the other downloaded-volume layers. For now it draws nothing; it keeps its transfer function.
class KestRenderer
{
public:
    explicit KestRenderer(BrainSceneView* view);
    virtual ~KestRenderer();
    KestRenderer(const KestRenderer&) = delete;
    KestRenderer& operator=(const KestRenderer&) = delete;

    virtual void Display();
    virtual void SetTransferFunction(int low, int high, int lowOut, int highOut);
    // The depth (0..1) at a window pixel (origin bottom left); 1 where nothing is drawn.
    virtual float GetDepth(int x, int y);
    // The probe moved: three fractions of the view grid.
    virtual void PositionChanged(const float* position);
    virtual bool GetProbeVisible() const { return true; }

    const int* GetTransferFunction() const { return m_transfer; }

protected:
    BrainSceneView* m_view;

private:
    int m_transfer[4] = {0, 255, 0, 255};
};
