#pragma once

class QCursor;

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

// The system cursor of a shape (4 to 6 drawn from the images "ResizeNECursor", "ResizeNWCursor" and
// "MoveCursor", hot spot (7, 7)), made on first use and kept for the life of the process; null for
// any other value. Needs the application object.
const QCursor* GetCursor(Cursor cursor);
// Shows the shape over the GL view that last had the pointer, until its cursor rectangles say otherwise.
void SetCursor(Cursor cursor);

} // namespace Cursors
