#pragma once

class Bookmark;
class BrainExpressionModel;

// Animates the model's view from one bookmark to another. For now it ends at its first step.
class BookmarkInterpolator
{
public:
    BookmarkInterpolator(const Bookmark& start, const Bookmark& target, BrainExpressionModel* model, float duration);
    virtual ~BookmarkInterpolator();
    BookmarkInterpolator(const BookmarkInterpolator&) = delete;
    BookmarkInterpolator& operator=(const BookmarkInterpolator&) = delete;

    // One step of the animation; false once it has ended.
    virtual bool Step();

private:
    BrainExpressionModel* m_model;
    float m_duration;
};
