#pragma once

// The three orthogonal planes of a volume, named after the anatomical sections that an atlas's plane
// mapping assigns to them. The numbers are stored in bookmarks and settings.
class Image3dPlane
{
public:
    enum Plane
    {
        CORONAL = 0,
        HORIZONTAL = 1,
        SAGITTAL = 2
    };

    static constexpr int NUM_PLANES = 3;

    static bool IsValid(int plane) { return plane >= 0 && plane < NUM_PLANES; }
};
