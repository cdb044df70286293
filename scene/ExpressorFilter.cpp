#include "scene/ExpressorFilter.h"

#include "atlas/AnnotationLabel.h"
#include "atlas/AtlasSpace.h"
#include "atlas/Colormap.h"
#include "core/Image3dPlane.h"
#include "expression/BrainExpressionModel.h"
#include "expression/Expressor.h"
#include "expression/GeneExpression.h"

#include <cmath>

ExpressorFilter::ExpressorFilter(const BrainExpressionModel& model, const AtlasSpace& space, const GeneExpression& gene,
                                 const Selector* hidden, Pass pass)
    : m_expressionSelector(model.GetExpressionSelector())
    , m_hidden(hidden)
    , m_colormap(model.GetGeneColormap())
    , m_pass(pass)
    , m_projection(gene.GetDataType() == GeneExpression::PROJECTION)
    , m_zScores(model.ZScoresVisible())
    , m_mean(gene.GetMean())
    , m_deviation(gene.GetStandardDeviation())
    , m_level(model.GetExpressionLevelVisibilityThreshold())
    , m_density(model.GetExpressionDensityVisibilityThreshold())
    , m_window(model.GetExpressionWindow())
{
    if (m_colormap && (!m_colormap->valid || m_colormap->entries.size() < 3 * Colormap::NUM_ENTRIES))
        m_colormap = nullptr;
    const unsigned int* dimensions = space.GetViewDimensions();
    for (int axis = 0; axis < 3; ++axis)
    {
        const auto plane = static_cast<Image3dPlane::Plane>(axis);
        m_box[axis][0] = model.GetCuttingPlaneLocation(plane, true) * static_cast<float>(dimensions[axis]);
        m_box[axis][1] = model.GetCuttingPlaneLocation(plane, false) * static_cast<float>(dimensions[axis]);
    }
}

bool ExpressorFilter::StructureShown(const AnnotationLabel* label) const
{
    return label && label->selector.Intersects(m_expressionSelector);
}

bool ExpressorFilter::IsHidden(const Expressor& expressor) const
{
    return m_hidden && expressor.label && expressor.label->selector.Intersects(*m_hidden);
}

float ExpressorFilter::Value(const Expressor& expressor) const
{
    float value = expressor.intensity;
    if (m_zScores)
        value = m_deviation != 0.0f ? (value - m_mean) / m_deviation : 0.0f;
    if (m_projection && m_pass != kExport)
        value = std::fabs(value);
    return value;
}

bool ExpressorFilter::Passes(const Expressor& expressor, int& colorIndex) const
{
    if ((m_pass == kCompile || m_pass == kImmediate || m_pass == kHitTest) && IsHidden(expressor))
        return false;
    const float value = Value(expressor);
    const bool windows = !((m_pass == kPick || m_pass == kHitTest) && m_projection);
    if (windows && !(InWindow(value, m_level) && InWindow(expressor.density, m_density)))
        return false;
    if (!InCuttingBox(expressor))
        return false;
    colorIndex = ColorIndex(m_pass == kVisible ? std::fabs(value) : value, m_window);
    if (m_colormap)
    {
        const unsigned char* rgb = &m_colormap->entries[3 * static_cast<unsigned int>(colorIndex)];
        if (rgb[0] + rgb[1] + rgb[2] == 0)
            return false;
    }
    return true;
}

bool ExpressorFilter::InCuttingBox(const Expressor& expressor) const
{
    for (int axis = 0; axis < 3; ++axis)
        if (!(m_box[axis][0] <= expressor.position[axis] && expressor.position[axis] <= m_box[axis][1]))
            return false;
    return true;
}

bool ExpressorFilter::InWindow(float value, const Range& window)
{
    if (window.min < window.max)
        return value >= window.min && value <= window.max;
    if (window.min == window.max)
        return true;
    return value >= window.min;
}

int ExpressorFilter::ColorIndex(float value, const Range& window)
{
    float width = window.max - window.min;
    if (width == 0.0f)
        width = 1.0f;
    float index = (value - window.min) / width * 255.0f + 0.5f;
    if (!(index >= 0.0f)) // also not a number
        index = 0.0f;
    if (index > 255.0f)
        index = 255.0f;
    return static_cast<int>(index);
}
