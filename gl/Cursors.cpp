#include "gl/Cursors.h"

#include "gl/ApplicationImages.h"
#include "gl/GLView.h"

#include <QCursor>
#include <QPixmap>

namespace
{

const char* const kImageNames[] = {"ResizeNECursor", "ResizeNWCursor", "MoveCursor"};

QCursor* MakeCursor(Cursors::Cursor cursor)
{
    switch (cursor)
    {
    case Cursors::kArrowCursor:
        return new QCursor(Qt::ArrowCursor);
    case Cursors::kCrosshairCursor:
        return new QCursor(Qt::CrossCursor);
    case Cursors::kResizeUpDownCursor:
        return new QCursor(Qt::SizeVerCursor);
    case Cursors::kResizeLeftRightCursor:
        return new QCursor(Qt::SizeHorCursor);
    default:
        break;
    }
    const QImage image = ApplicationImages::GetImage(kImageNames[cursor - Cursors::kResizeNECursor]);
    return new QCursor(QPixmap::fromImage(image), 7, 7);
}

} // namespace

namespace Cursors
{

const QCursor* GetCursor(Cursor cursor)
{
    if (cursor < kArrowCursor || cursor > kMoveCursor)
        return nullptr;
    // Kept until the process ends: a cursor outliving the application object must not be destroyed.
    static QCursor* cursors[kMoveCursor + 1] = {};
    if (!cursors[cursor])
        cursors[cursor] = MakeCursor(cursor);
    return cursors[cursor];
}

void SetCursor(Cursor cursor)
{
    const QCursor* shape = GetCursor(cursor);
    GLView* view = GLView::GetViewUnderPointer();
    if (shape && view)
        view->setCursor(*shape);
}

} // namespace Cursors
