#pragma once

// What the atlas loading thread does to the model when it ends: show or hide one atlas section plane
// (0 coronal, 1 horizontal, 2 sagittal).
class MPRVisibilityInfo
{
public:
    MPRVisibilityInfo(int plane, bool visible)
        : m_plane(plane)
        , m_visible(visible)
    {
    }

    int plane() const { return m_plane; }
    bool visible() const { return m_visible; }

private:
    int m_plane;
    bool m_visible;
};
