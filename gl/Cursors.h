#pragma once

namespace Cursors
{

// The cursor shape a renderer asks for over a rectangle.
enum Cursor
{
    kArrowCursor = 0,
    kCrosshairCursor = 1,
    kResizeUpDownCursor = 2,
    kResizeLeftRightCursor = 3,
    kResizeNECursor = 4,
    kResizeNWCursor = 5,
    kMoveCursor = 6
};

} // namespace Cursors
