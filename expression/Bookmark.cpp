#include "expression/Bookmark.h"

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/BrainOntology.h"
#include "core/XMLUtils.h"
#include "expression/BrainExpressionModel.h"

#include <algorithm>
#include <locale>
#include <sstream>
#include <stdexcept>

namespace
{

const char* const PLANE_NAMES[3] = {"coronal", "horizontal", "sagittal"};
const Image3dPlane::Plane PLANES[3] = {Image3dPlane::CORONAL, Image3dPlane::HORIZONTAL, Image3dPlane::SAGITTAL};
const int CAPTURED_DEFAULT_COLOR_MODE = 3;

// As a standard stream writes a double by default, whatever the caller's stream has been told.
std::string Number(float value)
{
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << static_cast<double>(value);
    return text.str();
}

std::string Escaped(const std::string& text)
{
    return Bookmark::XMLAttributeText(text);
}

// Length of the UTF-8 sequence at text[at] that encodes a character XML 1.0 allows; 0 for anything else
// (a control character, a malformed or overlong sequence, a surrogate, U+FFFE, U+FFFF).
std::size_t AllowedCharacterLength(const std::string& text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80)
        return lead >= 0x20 || lead == '\t' || lead == '\n' || lead == '\r' ? 1 : 0;
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size())
        return 0;
    unsigned long code = lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i)
    {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(at + i) & 0x3Fu);
    }
    static const unsigned long SMALLEST[5] = {0, 0, 0x80, 0x800, 0x10000};
    const bool allowed = code >= SMALLEST[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF) &&
                         code != 0xFFFE && code != 0xFFFF;
    return allowed ? length : 0;
}

bool IsPresent(const AnnotationLabel* label)
{
    return label && label->index != 0;
}

void WriteStructure(std::ostream& out, const std::string& pad, unsigned long id, const std::string& abbreviation)
{
    out << pad << "<Structure id=\"" << id << "\" name=\"" << Escaped(abbreviation) << "\"/>\n";
}

// The selector's structures in table order, then those the ontology lacks. Lines read from a file keep
// their places: the known ones are filled in table order where the file had known ones, so that a file
// that another atlas wrote, with its own order, is written back as it was.
void WriteStructures(std::ostream& out, const char* element, const Bookmark::Selector& selector,
                     const std::vector<Bookmark::StructureRef>& unknown,
                     const std::vector<Bookmark::StructureRef>& read, const BrainOntology* ontology, int indent)
{
    const std::string pad(static_cast<size_t>(indent), ' ');
    const std::string inner(static_cast<size_t>(indent) + 4, ' ');
    out << pad << '<' << element << ">\n";
    std::vector<const AnnotationLabel*> labels;
    if (ontology)
        ontology->SelectorToLabelList(selector, labels);
    auto next = labels.begin();
    const auto known = [ontology](unsigned long id) {
        return ontology && IsPresent(ontology->GetAnnotationLabelByDatabaseId(id));
    };
    for (const Bookmark::StructureRef& ref : read)
    {
        if (!known(ref.first))
            WriteStructure(out, inner, ref.first, ref.second);
        else if (next != labels.end())
        {
            WriteStructure(out, inner, (*next)->databaseId, (*next)->abbreviation);
            ++next;
        }
    }
    for (; next != labels.end(); ++next)
        WriteStructure(out, inner, (*next)->databaseId, (*next)->abbreviation);
    if (read.empty())
        for (const Bookmark::StructureRef& ref : unknown)
            WriteStructure(out, inner, ref.first, ref.second);
    out << pad << "</" << element << ">\n";
}

void WriteThreshold(std::ostream& out, const std::string& pad, const char* element, const Range& range)
{
    out << pad << '<' << element;
    if (range.min > 0.0f)
        out << " lower=\"" << Number(range.min) << '"';
    if (range.max >= 0.0f)
        out << " upper=\"" << Number(range.max) << '"';
    out << "/>\n";
}

} // namespace

Bookmark::Bookmark()
{
    Clear(true);
}

Bookmark::Bookmark(const std::string& name, int flags)
    : m_name(name)
    , m_flags(flags)
{
    Clear(false);
}

Bookmark::Bookmark(const std::string& name, int flags, const BrainExpressionModel* model)
    : m_name(name)
    , m_flags(flags)
{
    if (!model)
        throw std::invalid_argument("A model is required to capture a bookmark.");
    m_atlas = model->GetSharedAtlas();
    ResetSelectors();
    Clear(false);
    if (flags != 0)
        Capture(*model);
}

int Bookmark::Checked(Image3dPlane::Plane plane)
{
    if (!Image3dPlane::IsValid(plane))
        throw std::invalid_argument("Invalid bookmark plane specified.");
    return plane;
}

void Bookmark::Clear(bool nameAndFlags)
{
    if (nameAndFlags)
    {
        m_name.clear();
        m_flags = 0;
    }
    std::fill(std::begin(m_mprSliceLocation), std::end(m_mprSliceLocation), -1.0f);
    std::fill(std::begin(m_mprPlaneVisible), std::end(m_mprPlaneVisible), false);
    for (float* pair : m_cuttingPlanes)
    {
        pair[0] = 0.0f;
        pair[1] = -1.0f;
    }
    std::fill(std::begin(m_rotation), std::end(m_rotation), 0.0f);
    std::fill(std::begin(m_origin), std::end(m_origin), 0.0f);
    m_levelThreshold = Range(0.0f, -1.0f);
    m_densityThreshold = Range(0.0f, -1.0f);
    m_expressionWindow = Range(0.0f, -1.0f);
    std::fill(std::begin(m_probeLocation), std::end(m_probeLocation), -1.0f);
    m_probeAtlasSpace = nullptr;
    m_zoom = 40.0f;
}

void Bookmark::ResetSelectors()
{
    const unsigned int count = m_atlas ? m_atlas->GetOntology()->GetNumLabels() : 0;
    m_expressionSelector = Selector(count, false);
    m_structureSelector = Selector(count, false);
    m_unknownExpressionStructures.clear();
    m_unknownStructures.clear();
    m_readExpressionStructures.clear();
    m_readStructures.clear();
}

void Bookmark::SetExpressionSelector(const Selector& selector)
{
    m_expressionSelector = selector;
    m_unknownExpressionStructures.clear();
    m_readExpressionStructures.clear();
}

void Bookmark::SetStructureSelector(const Selector& selector)
{
    m_structureSelector = selector;
    m_unknownStructures.clear();
    m_readStructures.clear();
}

std::string Bookmark::XMLAttributeText(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t at = 0; at < text.size();)
    {
        const std::size_t length = AllowedCharacterLength(text, at);
        if (length == 0)
        {
            ++at;
            continue;
        }
        const char c = text[at];
        if (c == '\t' || c == '\n' || c == '\r')
            escaped += "&#" + std::to_string(static_cast<int>(c)) + ";";
        else
        {
            std::string character;
            XMLUtils::EscapeString(text.substr(at, length), character);
            escaped += character;
        }
        at += length;
    }
    return escaped;
}

void Bookmark::SetMPRSlice(Image3dPlane::Plane plane, bool visible, float location)
{
    const int p = Checked(plane);
    m_mprPlaneVisible[p] = visible;
    m_mprSliceLocation[p] = location;
}

void Bookmark::SetCuttingPlane(Image3dPlane::Plane plane, float low, float high)
{
    const int p = Checked(plane);
    m_cuttingPlanes[p][0] = low;
    m_cuttingPlanes[p][1] = high;
}

void Bookmark::SetRotation(const float* quaternion)
{
    std::copy_n(quaternion, 4, m_rotation);
}

void Bookmark::SetOrigin(const float* origin)
{
    std::copy_n(origin, 3, m_origin);
}

void Bookmark::Capture(const BrainExpressionModel& model)
{
    if (m_flags & EXPRESSION_FILTER)
        m_expressionSelector = model.GetExpressionSelector();
    if (m_flags & ATLAS_STRUCTURES)
        m_structureSelector = model.GetStructureSelector();
    if (m_flags & VIEW_ANGLE)
    {
        SetRotation(model.GetRotation());
        SetOrigin(model.GetOrigin());
    }
    if (m_flags & ZOOM)
        m_zoom = model.GetZoom();
    for (int p = 0; p < 3; ++p)
    {
        if (m_flags & MPR_SLICES)
            SetMPRSlice(PLANES[p], model.GetMPRPlaneVisible(PLANES[p]), model.GetMPRSliceLocation(PLANES[p]));
        if (m_flags & CLIPPING_PLANES)
            SetCuttingPlane(PLANES[p], model.GetCuttingPlaneLocation(PLANES[p], true),
                            model.GetCuttingPlaneLocation(PLANES[p], false));
    }
    m_geneColorMode = CAPTURED_DEFAULT_COLOR_MODE;
    if (m_flags & THRESHOLDS)
    {
        model.GetExpressionLevelVisibilityThreshold(m_levelThreshold.min, m_levelThreshold.max);
        model.GetExpressionDensityVisibilityThreshold(m_densityThreshold.min, m_densityThreshold.max);
        model.GetExpressionWindow(m_expressionWindow.min, m_expressionWindow.max);
        m_geneColorMode = model.GetGeneColorMode();
    }
    if (m_flags & PROBE)
    {
        std::copy_n(model.GetProbeLocation(), 3, m_probeLocation);
        m_probeAtlasSpace = model.GetProbeAtlasSpace();
    }
}

Bookmark::Selector Bookmark::ForModel(const Selector& selector, const std::vector<StructureRef>& unknown,
                                      const BrainExpressionModel& model) const
{
    const Atlas* atlas = model.GetAtlas();
    const std::shared_ptr<BrainOntology> target = model.GetSharedAtlas()->GetOntology();
    if (m_atlas.get() == atlas && unknown.empty())
        return selector;
    Selector result(target->GetNumLabels(), false);
    const auto add = [&](unsigned long databaseId) {
        const AnnotationLabel* label = target->GetAnnotationLabelByDatabaseId(databaseId);
        if (databaseId != 0 && IsPresent(label))
            result.Merge(label->selector);
    };
    if (m_atlas.get() == atlas)
        result = selector;
    else if (m_atlas)
    {
        std::vector<const AnnotationLabel*> labels;
        m_atlas->GetOntology()->SelectorToLabelList(selector, labels);
        for (const AnnotationLabel* label : labels)
            add(label->databaseId);
    }
    for (const StructureRef& ref : unknown)
        add(ref.first);
    return result;
}

void Bookmark::Restore(BrainExpressionModel* model) const
{
    if (!model)
        throw std::invalid_argument("A model is required to restore a bookmark.");
    if (m_flags & EXPRESSION_FILTER)
        model->SetExpressionSelector(ForModel(m_expressionSelector, m_unknownExpressionStructures, *model), true);
    if (m_flags & ATLAS_STRUCTURES)
        model->SetStructureSelector(ForModel(m_structureSelector, m_unknownStructures, *model), true);
    if (m_flags & VIEW_ANGLE)
    {
        model->SetRotation(m_rotation, true);
        model->SetOrigin(m_origin, true);
    }
    if (m_flags & ZOOM)
        model->SetZoom(m_zoom, true);
    RestorePlanes(*model);
    if (m_flags & THRESHOLDS)
        RestoreThresholds(*model);
    // A probe space belongs to the atlas it was captured in.
    if ((m_flags & PROBE) && (!m_probeAtlasSpace || m_atlas.get() == model->GetAtlas()))
        model->SetProbeLocation(m_probeLocation, m_probeAtlasSpace, true);
}

void Bookmark::RestorePlanes(BrainExpressionModel& model) const
{
    for (int p = 0; p < 3; ++p)
    {
        if (m_flags & MPR_SLICES)
        {
            model.SetMPRPlaneVisible(PLANES[p], m_mprPlaneVisible[p], true);
            if (m_mprSliceLocation[p] >= 0.0f)
                model.SetMPRSliceLocation(PLANES[p], m_mprSliceLocation[p], true);
        }
    }
    for (int p = 0; p < 3; ++p)
    {
        if (m_flags & CLIPPING_PLANES)
        {
            model.SetCuttingPlaneLocation(PLANES[p], m_cuttingPlanes[p][0], true, true);
            model.SetCuttingPlaneLocation(PLANES[p], m_cuttingPlanes[p][1], false, true);
        }
    }
}

void Bookmark::RestoreThresholds(BrainExpressionModel& model) const
{
    model.SetExpressionLevelVisibilityThreshold(m_levelThreshold.min, m_levelThreshold.max, true);
    model.SetExpressionDensityVisibilityThreshold(m_densityThreshold.min, m_densityThreshold.max, true);
    model.SetGeneColorMode(m_geneColorMode, true);
    // A window written with equal bounds reads back reversed: it never held a usable window.
    if (m_expressionWindow.min <= m_expressionWindow.max)
        model.SetExpressionWindow(m_expressionWindow.min, m_expressionWindow.max, true);
}

void Bookmark::SaveXML(std::ostream& out, const BrainOntology* ontology, int indent) const
{
    const std::string pad(static_cast<size_t>(std::max(indent, 0)), ' ');
    const std::string inner = pad + "    ";
    out << pad << "<Bookmark name=\"" << Escaped(m_name) << "\">\n";
    if (m_flags & EXPRESSION_FILTER)
        WriteStructures(out, "ExpressionFilter", m_expressionSelector, m_unknownExpressionStructures,
                        m_readExpressionStructures, ontology, static_cast<int>(inner.size()));
    if (m_flags & ATLAS_STRUCTURES)
        WriteStructures(out, "AtlasStructures", m_structureSelector, m_unknownStructures, m_readStructures, ontology,
                        static_cast<int>(inner.size()));
    if (m_flags & VIEW_ANGLE)
    {
        out << inner << "<Rotation>" << Number(m_rotation[0]) << ' ' << Number(m_rotation[1]) << ' '
            << Number(m_rotation[2]) << ' ' << Number(m_rotation[3]) << "</Rotation>\n";
        out << inner << "<Origin>" << Number(m_origin[0]) << ' ' << Number(m_origin[1]) << ' ' << Number(m_origin[2])
            << "</Origin>\n";
    }
    if (m_flags & ZOOM)
        out << inner << "<Zoom>" << Number(m_zoom) << "</Zoom>\n";
    if (m_flags & MPR_SLICES)
        for (int p = 0; p < 3; ++p)
            if (m_mprPlaneVisible[p] && m_mprSliceLocation[p] >= 0.0f)
                out << inner << "<NisslSlice orientation=\"" << PLANE_NAMES[p] << "\" location=\""
                    << Number(m_mprSliceLocation[p]) << "\"/>\n";
    if (m_flags & CLIPPING_PLANES)
        for (int p = 0; p < 3; ++p)
            out << inner << "<ClippingPlane orientation=\"" << PLANE_NAMES[p] << "\" lower=\""
                << Number(m_cuttingPlanes[p][0]) << "\" upper=\"" << Number(m_cuttingPlanes[p][1]) << "\"/>\n";
    if (m_flags & THRESHOLDS)
    {
        WriteThreshold(out, inner, "ExpressionLevelThreshold", m_levelThreshold);
        WriteThreshold(out, inner, "ExpressionDensityThreshold", m_densityThreshold);
        out << inner << "<ExpressionWindow";
        // Reversed bounds are what a window without bounds reads back as; leaving them out again keeps a
        // file that this program wrote unchanged when it is read and written.
        if (m_expressionWindow.min < m_expressionWindow.max)
            out << " lower=\"" << Number(m_expressionWindow.min) << "\" upper=\"" << Number(m_expressionWindow.max)
                << '"';
        out << "/>\n";
    }
    out << pad << "</Bookmark>\n";
}
