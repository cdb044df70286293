#pragma once

class GLDisplay;

// What the GL toolkit needs of the brain scene renderer, which derives from this (the scene lives in a
// higher layer). Main thread only.
class BrainSceneServices
{
public:
    virtual ~BrainSceneServices() {}
    // The scene's drawing size in logical pixels, as set by its last Reshape.
    virtual int GetWidth() const = 0;
    virtual int GetHeight() const = 0;
    // true starts the scene's spin (the display's timer drives Trackball::Animate), false stops it and
    // any bookmark animation. A call with the state already in force does nothing.
    virtual void Animate(bool spin) = 0;
    // The display the scene draws on; never null.
    virtual GLDisplay* GetContext() = 0;
    // Stores the rotation quaternion (x, y, z, w) in the model without notifying its listeners.
    virtual void SetModelRotation(const float* q) = 0;
};
