#pragma once

// A rectangle of the scene's 2D overlay in pixels, rows counted from the bottom: its left column and bottom
// row are inside it, its right column and top row just outside. It is empty without width or height, and
// an empty rectangle meets nothing.
struct OverlayRect
{
    int left = 0;
    int bottom = 0;
    int right = 0;
    int top = 0;

    bool IsEmpty() const { return right <= left || top <= bottom; }
    bool Holds(int x, int row) const { return x >= left && x < right && row >= bottom && row < top; }
    bool Meets(const OverlayRect& other) const
    {
        return !IsEmpty() && !other.IsEmpty() && left < other.right && other.left < right && bottom < other.top &&
               other.bottom < top;
    }
};
