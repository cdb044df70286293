#include "scene/BookmarkInterpolator.h"

BookmarkInterpolator::BookmarkInterpolator(const Bookmark&, const Bookmark&, BrainExpressionModel* model,
                                           float duration)
    : m_model(model)
    , m_duration(duration)
{
}

BookmarkInterpolator::~BookmarkInterpolator() = default;

bool BookmarkInterpolator::Step()
{
    return false;
}
