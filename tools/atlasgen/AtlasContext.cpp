#include "AtlasContext.h"

#include <cmath>
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

std::array<float, 16> AtlasContext::SpaceTransform() const
{
    if (!tiltedSpaces)
        return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    // 30 degrees about z after 20 degrees about x.
    const double a = 30.0 * 3.14159265358979323846 / 180.0, b = 20.0 * 3.14159265358979323846 / 180.0;
    const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
    const double rows[3][3] = {{ca, -sa * cb, sa * sb}, {sa, ca * cb, -ca * sb}, {0, sb, cb}};
    const double shift[3] = {0.1 * profile.viewDims[0], -0.1 * profile.viewDims[1], 0.1 * profile.viewDims[2]};
    std::array<float, 16> m{};
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r)
            m[4 * c + r] = static_cast<float>(rows[r][c]);
    for (int r = 0; r < 3; ++r)
        m[12 + r] = static_cast<float>(shift[r]);
    m[15] = 1.0f;
    return m;
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
