#include "scene/BookmarkInterpolator.h"

#include "atlas/Atlas.h"
#include "atlas/GeneColorModes.h"
#include "expression/BrainExpressionModel.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>

namespace
{

const Image3dPlane::Plane PLANES[3] = {Image3dPlane::CORONAL, Image3dPlane::HORIZONTAL, Image3dPlane::SAGITTAL};

// The atlas whose stored thresholds keep "no upper limit" while animating.
const unsigned int OPEN_THRESHOLD_ATLAS = 351;

Range WithUpperLimit(const Range& range, float limit)
{
    return range.max == -1.0f ? Range(range.min, limit) : range;
}

} // namespace

double BookmarkInterpolator::SteadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

BookmarkInterpolator::BookmarkInterpolator(const Bookmark& start, const Bookmark& target, BrainExpressionModel* model,
                                           float duration, Clock clock)
    : m_duration(duration)
    , m_start(start)
    , m_target(target)
    , m_model(model)
    , m_clock(clock ? std::move(clock) : Clock(&SteadySeconds))
{
    if (!model)
        throw std::invalid_argument("A model is required to animate a bookmark.");
    // Thresholds without an upper limit move towards or from a finite one; the last step still restores
    // the target as it was given.
    Bookmark limitedTarget = target;
    if (model->GetAtlas()->GetAtlasId() != OPEN_THRESHOLD_ATLAS)
        for (Bookmark* b : {&m_start, &limitedTarget})
        {
            b->SetExpressionLevelThreshold(WithUpperLimit(b->GetExpressionLevelThreshold(), 260.0f));
            b->SetExpressionDensityThreshold(WithUpperLimit(b->GetExpressionDensityThreshold(), 100.0f));
        }
    ComputeChanges(limitedTarget);
    if (m_levelThreshold.on || m_densityThreshold.on || m_nearChanges || m_farChanges || m_window.on)
    {
        m_liveUpdate = true;
        m_model->SetLiveUpdate(true);
    }
}

BookmarkInterpolator::~BookmarkInterpolator() = default;

BookmarkInterpolator::Change BookmarkInterpolator::Difference(float from, float to)
{
    Change change;
    change.delta = to - from;
    change.on = change.delta != 0.0f;
    return change;
}

BookmarkInterpolator::RangeChange BookmarkInterpolator::Difference(const Range& from, const Range& to)
{
    RangeChange change;
    change.delta = Range(to.min - from.min, to.max - from.max);
    change.on = change.delta != Range(0.0f, 0.0f);
    return change;
}

void BookmarkInterpolator::ComputeChanges(const Bookmark& target)
{
    const int flags = target.GetFlags();
    if (flags & Bookmark::ZOOM)
        m_zoom = Difference(m_start.GetZoom(), target.GetZoom());
    if (flags & Bookmark::VIEW_ANGLE)
    {
        for (int i = 0; i < 3; ++i)
            m_origin[i] = Difference(m_start.GetOrigin()[i], target.GetOrigin()[i]);
        m_rotationInProgress = !std::equal(m_start.GetRotation(), m_start.GetRotation() + 4, target.GetRotation());
    }
    for (int p = 0; p < 3; ++p)
    {
        const float from = m_start.GetMPRSliceLocation(PLANES[p]);
        const float to = target.GetMPRSliceLocation(PLANES[p]);
        if ((flags & Bookmark::MPR_SLICES) && from >= 0.0f && to >= 0.0f)
            m_slice[p] = Difference(from, to);
        m_anyMPRPlaneVisible = m_anyMPRPlaneVisible || target.GetMPRPlaneVisible(PLANES[p]);
        if (flags & Bookmark::CLIPPING_PLANES)
        {
            m_near[p] = Difference(m_start.GetCuttingPlaneLocation(PLANES[p], true),
                                   target.GetCuttingPlaneLocation(PLANES[p], true));
            m_far[p] = Difference(m_start.GetCuttingPlaneLocation(PLANES[p], false),
                                  target.GetCuttingPlaneLocation(PLANES[p], false));
        }
        m_nearChanges = m_nearChanges || m_near[p].on;
        m_farChanges = m_farChanges || m_far[p].on;
    }
    if (flags & Bookmark::THRESHOLDS)
    {
        m_levelThreshold = Difference(m_start.GetExpressionLevelThreshold(), target.GetExpressionLevelThreshold());
        m_densityThreshold =
            Difference(m_start.GetExpressionDensityThreshold(), target.GetExpressionDensityThreshold());
        // A window read back reversed never held bounds: the current window stays.
        const Range& window = target.GetExpressionWindow();
        const GeneColorModes& modes = m_model->GetAtlas()->GetGeneColorModes();
        if (window.min <= window.max &&
            modes.GetZScore(m_start.GetGeneColorMode()) == modes.GetZScore(target.GetGeneColorMode()))
            m_window = Difference(m_start.GetExpressionWindow(), window);
    }
    // A probe space belongs to the atlas it was captured in.
    m_animateProbe =
        (flags & Bookmark::PROBE) && (!target.GetProbeAtlasSpace() || target.GetAtlas().get() == m_model->GetAtlas());
    if (m_animateProbe)
        for (int i = 0; i < 3; ++i)
            m_probe[i] = Difference(m_start.GetProbeLocation()[i], target.GetProbeLocation()[i]);
}

bool BookmarkInterpolator::Step()
{
    const double now = m_clock();
    if (!m_started)
    {
        m_started = true;
        m_startTime = now;
        return Evaluate(0.0f);
    }
    if (!(m_duration > 0.0))
        return Evaluate(1.0f);
    return Evaluate(static_cast<float>(std::max(0.0, now - m_startTime) / m_duration));
}

bool BookmarkInterpolator::Evaluate(float t)
{
    if (t >= 1.0f)
    {
        m_model->SetLiveUpdate(false);
        m_finished = true;
        m_target.Restore(m_model);
        return false;
    }
    if (t == 0.0f)
        SetDiscreteParts();
    const float s = m_ease.Evaluate(t);
    const int flags = m_target.GetFlags();
    if ((flags & Bookmark::ZOOM) && m_zoom.on)
        m_model->SetZoom(m_start.GetZoom() + m_zoom.delta * s, true);
    EvaluateView(s);
    EvaluatePlanes(s);
    EvaluateThresholds(s);
    if (m_animateProbe)
    {
        float location[3];
        for (int i = 0; i < 3; ++i)
            location[i] = m_start.GetProbeLocation()[i] + m_probe[i].delta * s;
        m_model->SetProbeLocation(location, m_target.GetProbeAtlasSpace(), true);
    }
    return true;
}

void BookmarkInterpolator::SetDiscreteParts()
{
    const int flags = m_target.GetFlags();
    if (flags & Bookmark::MPR_SLICES)
        for (Image3dPlane::Plane plane : PLANES)
            m_model->SetMPRPlaneVisible(plane, m_target.GetMPRPlaneVisible(plane), true);
    if (flags & Bookmark::EXPRESSION_FILTER)
        m_model->SetExpressionSelector(m_target.GetExpressionSelectorFor(*m_model), true);
    if (flags & Bookmark::ATLAS_STRUCTURES)
        m_model->SetStructureSelector(m_target.GetStructureSelectorFor(*m_model), true);
    if (flags & Bookmark::THRESHOLDS)
    {
        m_model->SetGeneColorMode(m_target.GetGeneColorMode(), true);
        const Range& window = m_target.GetExpressionWindow();
        if (window.min <= window.max)
            m_model->SetExpressionWindow(window.min, window.max, true);
    }
    if (m_animateProbe)
        m_model->SetProbeLocation(m_start.GetProbeLocation(), m_target.GetProbeAtlasSpace(), true);
}

void BookmarkInterpolator::EvaluateView(float s)
{
    if (!(m_target.GetFlags() & Bookmark::VIEW_ANGLE))
    {
        m_rotationInProgress = false;
        return;
    }
    if (m_origin[0].on || m_origin[1].on || m_origin[2].on)
    {
        float origin[3];
        for (int i = 0; i < 3; ++i)
            origin[i] = m_start.GetOrigin()[i] + m_origin[i].delta * s;
        m_model->SetOrigin(origin, true);
    }
    if (m_rotationInProgress)
    {
        float rotation[4];
        m_rotationInProgress = InterpolateQuaternion(m_start.GetRotation(), m_target.GetRotation(), rotation, s);
        m_model->SetRotation(rotation, true);
    }
}

void BookmarkInterpolator::EvaluatePlanes(float s)
{
    const int flags = m_target.GetFlags();
    if ((flags & Bookmark::MPR_SLICES) && m_anyMPRPlaneVisible)
        for (int p = 0; p < 3; ++p)
            if (m_slice[p].on)
                m_model->SetMPRSliceLocation(PLANES[p], m_start.GetMPRSliceLocation(PLANES[p]) + m_slice[p].delta * s,
                                             true);
    if (!(flags & Bookmark::CLIPPING_PLANES))
        return;
    for (const bool low : {true, false})
    {
        if (!(low ? m_nearChanges : m_farChanges))
            continue;
        const Change* changes = low ? m_near : m_far;
        for (int p = 0; p < 3; ++p)
            m_model->SetCuttingPlaneLocation(
                PLANES[p], m_start.GetCuttingPlaneLocation(PLANES[p], low) + changes[p].delta * s, low, true);
    }
}

void BookmarkInterpolator::EvaluateThresholds(float s)
{
    if (!(m_target.GetFlags() & Bookmark::THRESHOLDS))
        return;
    const auto at = [s](const Range& start, const RangeChange& change) {
        return Range(start.min + change.delta.min * s, start.max + change.delta.max * s);
    };
    if (m_levelThreshold.on)
    {
        const Range r = at(m_start.GetExpressionLevelThreshold(), m_levelThreshold);
        m_model->SetExpressionLevelVisibilityThreshold(r.min, r.max, true);
    }
    if (m_densityThreshold.on)
    {
        const Range r = at(m_start.GetExpressionDensityThreshold(), m_densityThreshold);
        m_model->SetExpressionDensityVisibilityThreshold(r.min, r.max, true);
    }
    if (m_window.on)
    {
        const Range r = at(m_start.GetExpressionWindow(), m_window);
        m_model->SetExpressionWindow(r.min, r.max, true);
    }
}

bool BookmarkInterpolator::InterpolateQuaternion(const float* a, const float* b, float* out, double t)
{
    double dot = 0.0;
    for (int i = 0; i < 4; ++i)
        dot += static_cast<double>(a[i]) * b[i];
    // Rounding can push the product of unit quaternions past 1.
    const double angle = std::fabs(std::acos(std::clamp(dot, -1.0, 1.0)));
    const double sine = std::sin(angle);
    if (sine != 0.0)
    {
        const double wa = std::sin((1.0 - t) * angle) / sine;
        const double wb = std::sin(t * angle) / sine;
        double q[4];
        double length = 0.0;
        for (int i = 0; i < 4; ++i)
        {
            q[i] = wa * a[i] + wb * b[i];
            length += q[i] * q[i];
        }
        length = std::sqrt(length);
        // Opposite quaternions cancel half way: there is no direction to normalise, so the target stands.
        if (length > 0.0 && std::isfinite(length))
        {
            for (int i = 0; i < 4; ++i)
                out[i] = static_cast<float>(q[i] / length);
            return true;
        }
    }
    std::copy_n(b, 4, out);
    return false;
}

bool BookmarkInterpolator::CanInterpolate(const Bookmark& bookmark)
{
    const int flags = bookmark.GetFlags();
    const int continuous =
        Bookmark::VIEW_ANGLE | Bookmark::ZOOM | Bookmark::CLIPPING_PLANES | Bookmark::THRESHOLDS | Bookmark::PROBE;
    if (flags & continuous)
        return true;
    // Only the coronal and sagittal slices are consulted.
    return (flags & Bookmark::MPR_SLICES) && (bookmark.GetMPRSliceLocation(Image3dPlane::CORONAL) >= 0.0f ||
                                              bookmark.GetMPRSliceLocation(Image3dPlane::SAGITTAL) >= 0.0f);
}

bool BookmarkInterpolator::Drop()
{
    if (!m_liveUpdate || m_finished)
        return false;
    m_finished = true;
    m_model->SetLiveUpdate(false);
    return true;
}
