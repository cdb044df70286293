#pragma once

class GLRenderer
{
public:
    virtual ~GLRenderer() {}
    // Called with the display's context current when the renderer is attached.
    virtual void Initialize() = 0;
    // Draws one frame with the context current; the caller flushes.
    virtual void Display() = 0;
    virtual void Reshape(int width, int height) = 0;
    virtual void SetActive(bool active) = 0;
    // Re-adds the renderer's cursor rectangles through GLDisplay::AddCursorRect.
    virtual void ResetCursorRects() = 0;
};
