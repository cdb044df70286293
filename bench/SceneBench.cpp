// Drawing speed of the brain scene's expression glyphs on the GL at hand (llvmpipe under Xvfb), beside
// a bare GL program that draws the same icosahedra (positions, sizes, colours, lights) from one display
// list.
//
// It generates the demo atlas 310, reads a bare grid of about 150,000 expressors, and draws the scene
// at 1024 x 768 into a framebuffer object with the meshes off. It prints the list compile time, the
// cached frame time, the live-update frame time and the bare program's frame time in milliseconds, and
// the ratios to the bare program.
//
// Arguments: [frames]

#include "SceneBenchSupport.h"

#include "atlas/Atlas.h"
#include "atlas/BrainOntology.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "gl/GLIcosahedron.h"
#include "scene/BrainSceneRenderer.h"
#include "scene/BrainSceneView.h"
#include "scene/ExpressionRenderer.h"
#include "scene/ExpressorFilter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{

using namespace scenebench;

// A bare grid of atlas 310 (133 x 81 x 115) whose values above e^6 make expressors: about 150,000 cells
// of an ellipsoid, chosen by an integer hash, with values spread over a decade.
std::string MakeGrid()
{
    const unsigned int size[3] = {133, 81, 115};
    std::string bytes(4u * size[0] * size[1] * size[2], '\0');
    std::size_t i = 0, cells = 0;
    for (unsigned int z = 0; z < size[2]; ++z)
        for (unsigned int y = 0; y < size[1]; ++y)
            for (unsigned int x = 0; x < size[0]; ++x, ++i)
            {
                const float dx = (x - 66.0f) / 60.0f, dy = (y - 40.0f) / 36.0f, dz = (z - 57.0f) / 52.0f;
                const unsigned int hash = (x * 73856093u) ^ (y * 19349663u) ^ (z * 83492791u);
                if (dx * dx + dy * dy + dz * dz > 1.0f || hash % 1000 >= 320)
                    continue;
                const float value = 500.0f + static_cast<float>(hash % 4500);
                std::memcpy(&bytes[4 * i], &value, 4);
                ++cells;
            }
    std::printf("grid cells above threshold: %zu\n", cells);
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::atoi(argv[1]) : 20;
    return RunOnScene("bench_scene", [&](BrainExpressionModel& model, BrainSceneRenderer& renderer, GLuint) {
        const BrainOntology& ontology = *model.GetAtlas()->GetOntology();
        const std::string grid = MakeGrid();
        auto gene = std::make_shared<GeneExpression>(grid.data(), static_cast<unsigned long>(grid.size()));
        model.AddGeneExpression(gene, false);
        model.SetCompassLocation(BrainExpressionModel::COMPASS_HIDDEN, false);
        model.SetStructureSelector(BrainExpressionModel::Selector(ontology.GetNumLabels(), false), false);
        model.SetExpressionSelector(BrainExpressionModel::Selector(ontology.GetNumLabels(), true), false);
        model.SetExpressionDensityVisibilityThreshold(0.0f, 0.0f, false);
        model.SetZoom(50.0f, false);
        BrainSceneView& view = *renderer.GetViews().front();
        ExpressionRenderer& glyphs = *view.GetExpressionRenderers().begin()->second;
        std::printf("expressors: %zu\n", gene->GetExpressors(view.GetAtlasSpace())->size());

        glyphs.ThresholdChanged();
        const double compile = Time([&] { glyphs.Draw(true); });
        const double cached = Average(frames, [&] { renderer.Display(); });
        model.SetLiveUpdate(true);
        const double live = Average(std::max(1, frames / 4), [&] { renderer.Display(); });
        model.SetLiveUpdate(false);

        // The bare program: the same camera, lights and glyphs, from one list.
        view.SetupViewPort();
        view.DoViewTransforms();
        glTranslatef(-0.1f, -0.1f, -0.1f);
        GLfloat modelView[16], projection[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        const ExpressorFilter filter(model, *view.GetAtlasSpace(), *gene, nullptr, ExpressorFilter::kCompile);
        const GLIcosahedron icosahedron;
        const GLuint list = glGenLists(1);
        glNewList(list, GL_COMPILE);
        glBegin(GL_TRIANGLES);
        std::size_t drawn = 0;
        const float* rgb = gene->GetColor();
        for (const Expressor& e : *gene->GetExpressors(view.GetAtlasSpace()))
        {
            int index = 0;
            if (!filter.Passes(e, index))
                continue;
            const float f = index / 255.0f;
            glColor3f(rgb[0] * f, rgb[1] * f, rgb[2] * f);
            icosahedron.DrawAt(e.position[0], e.position[1], e.position[2], glyphs.GetExpressorSize(&e), false);
            ++drawn;
        }
        glEnd();
        glEndList();
        const double bare = Average(frames, [&] {
            glViewport(0, 0, kWidth, kHeight);
            glClearColor(0, 0, 0, 0);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            glMatrixMode(GL_PROJECTION);
            glLoadMatrixf(projection);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            renderer.PositionLights();
            glLoadMatrixf(modelView);
            glEnable(GL_LIGHTING);
            glCallList(list);
        });
        glDeleteLists(list, 1);

        std::printf("glyphs drawn by the bare program: %zu\n", drawn);
        std::printf("list compile:       %8.2f ms\n", compile);
        std::printf("cached frame:       %8.2f ms  (%.2f x bare)\n", cached, cached / bare);
        std::printf("live-update frame:  %8.2f ms  (%.2f x bare)\n", live, live / bare);
        std::printf("bare program frame: %8.2f ms\n", bare);
        std::printf("goal: cached frame within 1.5 x the bare program: %s\n", cached <= 1.5 * bare ? "met" : "missed");
    });
}
