#include "atlas/AtlasConfigReader.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <locale>
#include <sstream>
#include <stdexcept>

#include <boost/format.hpp>

#include "atlas/DecimalText.h"
#include "atlas/ParseXMLFile.h"
#include "core/GeometryUtils.h"

namespace
{

// More placeholders than any server request has; a template asking for more is broken, not slow.
const int MAX_TEMPLATE_ARGUMENTS = 64;
// Boost.Format reserves a directive's width, precision or tab column when it parses the template, so a
// few characters such as "%1$2000000000s" would cost gigabytes. No URL needs a field this wide.
const long MAX_TEMPLATE_FIELD = 1024;

std::runtime_error ConfigError(const char* message)
{
    return std::runtime_error(message);
}

bool IsElement(const char* name, const char* element)
{
    return std::strcmp(name, element) == 0;
}

// The attribute pairs of one start tag, in document order.
template <typename Visit>
void ForEachAttribute(const char** attributes, Visit&& visit)
{
    for (const char** a = attributes; a && a[0] && a[1]; a += 2)
        visit(std::string(a[0]), std::string(a[1]));
}

int AxisOf(const std::string& attribute, const char* first, const char* second, const char* third)
{
    if (attribute == first)
        return 0;
    if (attribute == second)
        return 1;
    if (attribute == third)
        return 2;
    return -1;
}

// Whether a number inside a directive ("%N%", "%|...|" or printf-style up to its conversion letter)
// exceeds MAX_TEMPLATE_FIELD; text between the directives is not looked at.
bool HasOversizedField(const std::string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '%')
            continue;
        if (i + 1 < text.size() && text[i + 1] == '%')
        {
            ++i;
            continue;
        }
        const bool bracketed = i + 1 < text.size() && text[i + 1] == '|';
        std::size_t j = bracketed ? i + 2 : i + 1;
        long number = 0;
        for (; j < text.size(); ++j)
        {
            const char c = text[j];
            if (c >= '0' && c <= '9')
            {
                number = number * 10 + (c - '0');
                if (number > MAX_TEMPLATE_FIELD)
                    return true;
                continue;
            }
            number = 0;
            const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
            if (bracketed ? c == '|' : c == '%' || letter)
                break;
        }
        i = j;
    }
    return false;
}

std::istringstream ClassicStream(const std::string& text)
{
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    return in;
}

} // namespace

void AtlasConfigReader::AtlasSpaceInfo::Reset()
{
    name.clear();
    id = 0;
    invert = false;
    for (int k = 0; k < 3; ++k)
    {
        viewDimensions[k] = atlasDimensions[k] = origin[k] = 0;
        viewResolution[k] = atlasResolution[k] = 0.0f;
        viewOffset[k] = atlasOffset[k] = meshResolution[k] = 0.0f;
    }
    makeIdentity(transform);
    // A space without an MNI transform keeps its coordinates, as one without a transform does.
    makeIdentity(mniTransform);
}

void AtlasConfigReader::AtlasSpaceInfo::CheckComplete()
{
    for (int k = 0; k < 3; ++k)
    {
        if (atlasDimensions[k] < 1 || viewDimensions[k] < 1 || !(atlasResolution[k] > 0.0f) ||
            !(viewResolution[k] > 0.0f))
            throw ConfigError("Atlas configuration file is incomplete.");
        if (!(meshResolution[k] > 0.0f))
            meshResolution[k] = atlasResolution[k];
    }
    // The view grid is resampled from the atlas grid, voxel by voxel, and cached in Local: a coarser grid
    // costs less than the atlas grid, and one that claims more is a damaged or hostile file, not an atlas.
    const auto voxels = [](const int* dimensions) {
        return std::uint64_t(dimensions[0]) * std::uint64_t(dimensions[1]) * std::uint64_t(dimensions[2]);
    };
    if (voxels(viewDimensions) > voxels(atlasDimensions))
        throw ConfigError("Invalid image dimension");
}

AtlasConfigReader::AtlasConfigReader(const char* path)
    : m_parser(this)
{
    makeIdentity(m_compassTransform);
    if (!path)
        throw std::invalid_argument("Atlas configuration file path not specified.");
    ParseXMLFile(m_parser, path, "Atlas configuration file could not be opened.",
                 "Error parsing atlas configuration file.");
    if (m_atlasId == 0 || m_name.empty() || m_spaces.empty())
        throw ConfigError("Atlas configuration file is incomplete.");
}

void AtlasConfigReader::DataHandler(const char* text, int length)
{
    m_text.append(text, static_cast<size_t>(length));
}

void AtlasConfigReader::StartElement(const char* name, const char** attributes)
{
    m_text.clear();
    if (IsElement(name, "atlas") || IsElement(name, "atlas-info"))
        StartAtlas(attributes);
    else if (IsElement(name, "space"))
        StartSpace(attributes);
    else if (IsElement(name, "view-volume"))
        m_state = ViewVolume;
    else if (IsElement(name, "tissue-volume"))
    {
        m_state = TissueVolume;
        ForEachAttribute(attributes, [this](const std::string& key, const std::string& value) {
            if (key == "invert")
                m_space.invert = value == "true";
        });
    }
    else if (IsElement(name, "plane-mapping"))
        ReadPlaneMapping(attributes);
    else if (IsElement(name, "urls"))
        StartUrls(attributes);
    else
    {
        // These never carry a host key.
        const std::pair<const char*, void (AtlasConfigReader::*)(const char**)> keyless[] = {
            {"host", &AtlasConfigReader::AddHost},
            {"size", &AtlasConfigReader::ReadSize},
            {"pixel-spacing", &AtlasConfigReader::ReadPixelSpacing},
            {"origin", &AtlasConfigReader::ReadOrigin},
            {"offset", &AtlasConfigReader::ReadOffset},
            {"mesh-resolution", &AtlasConfigReader::ReadMeshResolution}};
        for (const auto& [element, read] : keyless)
            if (IsElement(name, element))
            {
                (this->*read)(attributes);
                return;
            }
    }

    if (m_state == UrlBlock)
        ForEachAttribute(attributes, [this](const std::string& key, const std::string& value) {
            if (key == "key")
                m_hostKey = value;
        });
}

void AtlasConfigReader::StartAtlas(const char** attributes)
{
    ForEachAttribute(attributes, [this](const std::string& key, const std::string& value) {
        if (key == "name")
            m_name = value;
        else if (key == "project")
            m_project = value;
        else if (key == "attribution")
            m_attribution = value;
        else if (key == "id")
        {
            const long long id = DecimalLong(value);
            if (id <= 0 || id > UINT_MAX)
                throw ConfigError("Atlas ID out of range.");
            m_atlasId = static_cast<unsigned int>(id);
        }
        else if (key == "version")
        {
            const long long version = DecimalLong(value);
            if (version < 0 || version > INT_MAX)
                throw ConfigError("Atlas version out of range.");
            m_version = static_cast<int>(version);
        }
        else if (key == "min-app-version")
        {
            const long long version = DecimalLong(value);
            if (version < 0 || version > INT_MAX)
                throw ConfigError("Minimum application version out of range.");
            m_minAppVersion = static_cast<int>(version);
        }
    });
}

void AtlasConfigReader::StartSpace(const char** attributes)
{
    m_space.Reset();
    ForEachAttribute(attributes, [this](const std::string& key, const std::string& value) {
        if (key == "name")
            m_space.name = value;
        else if (key == "id")
            m_space.id = DecimalInt(value);
    });
}

void AtlasConfigReader::ReadSize(const char** attributes)
{
    if (m_state != ViewVolume && m_state != TissueVolume)
        return;
    int* dimensions = m_state == ViewVolume ? m_space.viewDimensions : m_space.atlasDimensions;
    ForEachAttribute(attributes, [dimensions](const std::string& key, const std::string& value) {
        const int size = DecimalInt(value);
        if (size < 1)
            throw ConfigError("Atlas dimension out of range.");
        const int axis = AxisOf(key, "width", "height", "depth");
        if (axis >= 0)
            dimensions[axis] = size;
    });
}

void AtlasConfigReader::ReadPixelSpacing(const char** attributes)
{
    if (m_state != ViewVolume && m_state != TissueVolume)
        return;
    float* resolution = m_state == ViewVolume ? m_space.viewResolution : m_space.atlasResolution;
    ForEachAttribute(attributes, [resolution](const std::string& key, const std::string& value) {
        const float spacing = DecimalFloat(value);
        if (!(spacing > 0.0f) || !std::isfinite(spacing))
            throw ConfigError("Pixel spacing out of range.");
        const int axis = AxisOf(key, "width", "height", "depth");
        if (axis >= 0)
            resolution[axis] = spacing;
    });
}

void AtlasConfigReader::ReadOrigin(const char** attributes)
{
    if (m_state != TissueVolume)
        return;
    ForEachAttribute(attributes, [this](const std::string& key, const std::string& value) {
        const int axis = AxisOf(key, "x", "y", "z");
        if (axis >= 0)
            m_space.origin[axis] = DecimalInt(value);
    });
}

void AtlasConfigReader::ReadOffset(const char** attributes)
{
    if (m_state != ViewVolume && m_state != TissueVolume)
        return;
    float* offset = m_state == ViewVolume ? m_space.viewOffset : m_space.atlasOffset;
    ForEachAttribute(attributes, [offset](const std::string& key, const std::string& value) {
        const int axis = AxisOf(key, "x", "y", "z");
        if (axis >= 0)
            offset[axis] = DecimalFloat(value);
    });
}

void AtlasConfigReader::ReadMeshResolution(const char** attributes)
{
    if (m_state != TissueVolume)
        return;
    ForEachAttribute(attributes, [this](const std::string& key, const std::string& value) {
        const int axis = AxisOf(key, "x", "y", "z");
        if (axis >= 0)
            m_space.meshResolution[axis] = DecimalFloat(value);
    });
}

void AtlasConfigReader::ReadPlaneMapping(const char** attributes)
{
    for (const char** a = attributes; a && a[0] && a[1]; a += 2)
    {
        const int plane = DecimalInt(a[1]);
        if (plane < 0 || plane > 2)
            break;
        const int axis = AxisOf(a[0], "x", "y", "z");
        if (axis >= 0)
            m_planeMapping[axis] = static_cast<unsigned int>(plane);
    }
}

void AtlasConfigReader::StartUrls(const char** attributes)
{
    ForEachAttribute(attributes, [this](const std::string& key, const std::string& value) {
        if (key == "base")
            m_currentUrls.host = value;
        else if (key == "project")
            m_currentUrls.projectCode = value;
    });
    if (m_currentUrls.projectCode.empty())
        m_currentUrls.projectCode = m_project;
    m_state = UrlBlock;
}

void AtlasConfigReader::AddHost(const char** attributes)
{
    if (m_state != UrlBlock)
        return;
    std::string key, host;
    ForEachAttribute(attributes, [&](const std::string& name, const std::string& value) {
        if (name == "key")
            key = value;
        else if (name == "host")
            host = value;
    });
    if (!key.empty() && !host.empty())
        m_hosts.emplace(key, host);
}

void AtlasConfigReader::EndElement(const char* name)
{
    static const std::pair<const char*, std::string AtlasURLs::*> urlElements[] = {
        {"grid", &AtlasURLs::grid},
        {"imageSeriesDisplay", &AtlasURLs::imageSeriesDisplay},
        {"imageViewer", &AtlasURLs::imageViewer},
        {"atlasImageViewer", &AtlasURLs::atlasImageViewer},
        {"multiExperimentViewer", &AtlasURLs::multiExperimentViewer},
        {"imageTile", &AtlasURLs::imageTile},
        {"imageService", &AtlasURLs::imageService},
        {"geneSearch", &AtlasURLs::geneSearch},
        {"dataSearch", &AtlasURLs::geneSearch},
        {"differentialSearch", &AtlasURLs::differentialSearch},
        {"correlationSearch", &AtlasURLs::correlationSearch}};

    if (IsElement(name, "space"))
    {
        m_space.CheckComplete();
        m_spaces.push_back(m_space);
    }
    else if (IsElement(name, "urls"))
    {
        m_state = NoVolume;
        m_urls.push_back(m_currentUrls);
        ResetAtlasUrls();
    }
    else if (IsElement(name, "transform") || IsElement(name, "mni-transform"))
    {
        if (m_state == TissueVolume &&
            !ParseMatrix(IsElement(name, "transform") ? m_space.transform : m_space.mniTransform))
            throw ConfigError("Incomplete transform matrix in atlas configuration file.");
    }
    else if (m_state == UrlBlock)
    {
        for (const auto& [element, field] : urlElements)
            if (IsElement(name, element))
                EndUrl(field);
    }
    else if (IsElement(name, "mesh-resolution"))
        EndMeshResolution();
    else if (IsElement(name, "compass-transform"))
    {
        if (!ParseMatrix(m_compassTransform))
            throw ConfigError("Incomplete compass transform matrix in atlas configuration file.");
    }
    else if (IsElement(name, "default-rotation"))
        EndDefaultRotation();
    else if (IsElement(name, "default-colormap"))
        m_defaultColormapName = m_text;
    else if (IsElement(name, "default-ontology-display-level"))
        EndDefaultOntologyDisplayLevel();
}

void AtlasConfigReader::EndMeshResolution()
{
    if (m_text.empty())
        return;
    const float resolution = DecimalFloat(m_text);
    if (resolution < 0.0f || !std::isfinite(resolution))
        throw ConfigError("Mesh resolution out of range.");
    for (float& axis : m_space.meshResolution)
        axis = resolution;
}

void AtlasConfigReader::EndDefaultRotation()
{
    std::istringstream in = ClassicStream(m_text);
    float rotation[4];
    for (float& value : rotation)
        if (!(in >> value))
            throw ConfigError("Incomplete default rotation in atlas configuration file.");
    std::copy(rotation, rotation + 4, m_defaultRotation);
}

void AtlasConfigReader::EndDefaultOntologyDisplayLevel()
{
    if (m_text.empty())
        return;
    const int level = DecimalInt(m_text);
    if (level < 0)
        throw ConfigError("Default ontology level out of range.");
    m_defaultOntologyDisplayLevel = level;
}

void AtlasConfigReader::EndUrl(std::string AtlasURLs::*field)
{
    if (m_text.size() >= 5 && m_text.compare(0, 4, "%1%/") == 0)
        m_currentUrls.*field = ExpandTemplate(m_text);
    else
    {
        const auto host = m_hostKey.empty() ? m_hosts.end() : m_hosts.find(m_hostKey);
        m_currentUrls.*field = (host != m_hosts.end() ? host->second : m_currentUrls.host) + m_text;
    }
    m_hostKey.clear();
}

// Fills %1% with the block's base and renumbers the later placeholders down by one, so that the
// stored template numbers its own placeholders from %1% again.
std::string AtlasConfigReader::ExpandTemplate(const std::string& text) const
{
    if (HasOversizedField(text))
        throw ConfigError("Error parsing atlas configuration file.");
    try
    {
        boost::format format(text);
        const int arguments = format.expected_args();
        if (arguments > MAX_TEMPLATE_ARGUMENTS)
            throw ConfigError("Error parsing atlas configuration file.");
        format % m_currentUrls.host;
        for (int n = 2; n <= arguments; ++n)
            format % (boost::format("%%%1%%%") % (n - 1)).str();
        return format.str();
    }
    catch (const boost::io::format_error&)
    {
        throw ConfigError("Error parsing atlas configuration file.");
    }
}

bool AtlasConfigReader::ParseMatrix(float* out)
{
    std::istringstream in = ClassicStream(m_text);
    for (int i = 0; i < 16; ++i)
        if (!(in >> out[i]))
            return false;
    return true;
}

void AtlasConfigReader::ResetAtlasUrls()
{
    m_currentUrls = AtlasURLs();
}
