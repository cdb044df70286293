#include "AtlasContext.h"

#include <cstdio>
#include <cstdlib>

namespace atlasgen
{

AtlasContext::AtlasContext(const Profile& p, unsigned int id, const std::string& url)
    : profile(p)
    , identity(AtlasIdentity::ForId(id))
    , model(p.coarse, id)
    , baseUrl(url)
{
    for (int a = 0; a < 3; ++a)
        extent[a] = static_cast<double>(p.atlasDims[a]) * p.atlasResolution;
    origin[0] = static_cast<int>(0.40 * p.atlasDims[0]);
    origin[1] = static_cast<int>(0.10 * p.atlasDims[1]);
    origin[2] = p.atlasDims[2] / 2;
    meshResolution = p.meshOnAtlasGrid ? p.atlasResolution : p.viewResolution;
}

std::array<float, 16> AtlasContext::MniTransform() const
{
    const float s = profile.viewResolution / 1000.0f;
    return {s, 0, 0, 0, 0, s, 0, 0, 0, 0, s, 0, -ViewBregma(0) * s, -ViewBregma(1) * s, -ViewBregma(2) * s, 1};
}

std::string Number(double value)
{
    char text[32];
    for (int precision = 6; precision <= 9; ++precision)
    {
        std::snprintf(text, sizeof text, "%.*g", precision, value);
        if (static_cast<float>(std::strtod(text, nullptr)) == static_cast<float>(value))
            break;
    }
    return text;
}

} // namespace atlasgen
