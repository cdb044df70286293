#include "SceneFixture.h"
#include "SceneSupport.h"

#include <GL/glew.h>

#include <GL/glu.h>

#include "TestSupport.h"
#include "atlas/Atlas.h"
#include "expression/GeneExpression.h"
#include "scene/BrainSceneView.h"
#include "scene/ExpressionRenderer.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

namespace scenetest
{

std::string StructureGridBytes(const Atlas& atlas, unsigned short& value)
{
    const std::vector<unsigned char> annotation = ReadWholeFile(atlas.GetPath() + "/Spaces/P56/Annotation");
    const std::size_t voxels = annotation.size() / 2;
    const auto at = [&](std::size_t i) {
        return static_cast<unsigned short>(annotation[2 * i] | (annotation[2 * i + 1] << 8));
    };
    std::map<unsigned short, std::size_t> counts;
    for (std::size_t i = 0; i < voxels; ++i)
        ++counts[at(i)];
    std::size_t best = voxels + 1;
    for (const auto& [candidate, count] : counts)
        if (candidate != 0 && count >= 200 && count < best)
        {
            best = count;
            value = candidate;
        }
    std::string bytes(4 * voxels, '\0');
    const float inside = 1000.0f;
    for (std::size_t i = 0; i < voxels; ++i)
        if (at(i) == value)
            std::memcpy(&bytes[4 * i], &inside, 4);
    return bytes;
}

const std::string& InstalledAtlasRoot()
{
    static TempDir dir;
    static bool generated = false;
    if (!generated)
    {
        GenerateAtlas("tiny", 310, dir.File("Atlases/310"));
        GenerateAtlas("tiny", 350, dir.File("Atlases/350"));
        generated = true;
    }
    return dir.Path();
}

std::array<double, 4> GlyphScreenBox(BrainSceneView& view, const GeneExpression& gene)
{
    view.SetupViewPort();
    view.DoViewTransforms();
    glTranslatef(-0.1f, -0.1f, -0.1f);
    GLdouble modelView[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    std::array<double, 4> box = {1e9, 1e9, -1e9, -1e9};
    const ExpressionRenderer& glyphs = *view.GetExpressionRenderers().begin()->second;
    const std::vector<Expressor>* expressors = gene.GetExpressors(view.GetAtlasSpace());
    if (!expressors)
        return box;
    for (const Expressor& e : *expressors)
    {
        const float r = glyphs.GetExpressorSize(&e);
        for (int corner = 0; corner < 8; ++corner)
        {
            GLdouble x, y, z;
            gluProject(e.position[0] + (corner & 1 ? r : -r), e.position[1] + (corner & 2 ? r : -r),
                       e.position[2] + (corner & 4 ? r : -r), modelView, projection, viewport, &x, &y, &z);
            box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), std::max(box[3], y)};
        }
    }
    return box;
}

std::array<double, 2> ScreenPoint(BrainSceneView& view, const std::array<float, 3>& point)
{
    view.SetupViewPort();
    view.DoViewTransforms();
    GLdouble modelView[16], projection[16], x, y, z;
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    gluProject(point[0], point[1], point[2], modelView, projection, viewport, &x, &y, &z);
    return {x, y};
}

} // namespace scenetest
