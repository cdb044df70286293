#pragma once

#include "expression/Bookmark.h"
#include "gl/HermiteSpline.h"

#include <functional>

class BrainExpressionModel;

// One animation of a document's model from a start state to a bookmark: the continuous parts (zoom,
// origin, rotation, slices, cutting planes, thresholds, probe) follow an eased curve, the discrete ones
// (selectors, plane visibility, colour mode) switch at the first step, and the last step restores the
// target exactly. Threshold and cutting-plane animations run the model in live update until the end.
//
// The model is not owned and outlives the animation. Main thread only.
class BookmarkInterpolator
{
public:
    // Seconds on a clock that never steps back (a wall-clock step would stretch the animation by the
    // step); tests replace it.
    using Clock = std::function<double()>;
    static double SteadySeconds();

    // A null clock reads SteadySeconds.
    BookmarkInterpolator(const Bookmark& start, const Bookmark& target, BrainExpressionModel* model, float duration,
                         Clock clock = Clock());
    virtual ~BookmarkInterpolator();
    BookmarkInterpolator(const BookmarkInterpolator&) = delete;
    BookmarkInterpolator& operator=(const BookmarkInterpolator&) = delete;

    // The first call evaluates time 0 and starts the clock; false once the target state is reached.
    virtual bool Step();
    // The state at t (0 start, 1 and beyond the target); false from 1 on.
    virtual bool Evaluate(float t);
    // Spherical interpolation from a to b at t, normalised; false, with out = b, when there is no arc
    // between them (equal or opposite quaternions).
    virtual bool InterpolateQuaternion(const float* a, const float* b, float* out, double t);

    // Whether the bookmark holds anything to animate rather than set at once.
    static bool CanInterpolate(const Bookmark& bookmark);

    // Ends the animation before its last step: the live update it started ends too. True when it did.
    bool Drop();
    bool StartedLiveUpdate() const { return m_liveUpdate; }
    double GetDuration() const { return m_duration; }

private:
    struct Change
    {
        bool on = false;
        float delta = 0.0f;
    };
    struct RangeChange
    {
        bool on = false;
        Range delta{0.0f, 0.0f};
    };

    static Change Difference(float from, float to);
    static RangeChange Difference(const Range& from, const Range& to);
    void ComputeChanges(const Bookmark& target);
    void SetDiscreteParts();
    void EvaluateView(float s);
    void EvaluatePlanes(float s);
    void EvaluateThresholds(float s);

    double m_startTime = 0.0;
    double m_duration;
    Bookmark m_start;
    Bookmark m_target;
    BrainExpressionModel* m_model;
    HermiteSpline m_ease{0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 0.0f};
    Clock m_clock;
    bool m_started = false;
    bool m_liveUpdate = false;
    bool m_finished = false;

    Change m_zoom;
    Change m_origin[3];
    Change m_slice[3];
    Change m_near[3];
    Change m_far[3];
    bool m_nearChanges = false;
    bool m_farChanges = false;
    RangeChange m_levelThreshold;
    RangeChange m_densityThreshold;
    RangeChange m_window;
    Change m_probe[3];
    bool m_animateProbe = false;
    bool m_rotationInProgress = false;
    bool m_anyMPRPlaneVisible = false;
};
