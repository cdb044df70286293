#pragma once

// Helpers of the scene tests: the generator's atlases installed once for the test program, a settings
// store of each test's own, a scene (model, recording display and renderer) drawn into the harness's
// framebuffer, and data sets filled by hand.

#include <GL/glew.h>

#include "SceneSupport.h"
#include "TestSupport.h"
#include "atlas/AtlasGenerator.h"
#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSet.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "core/MemoryDefaultsStore.h"
#include "core/PlatformHooks.h"
#include "core/ResourcePath.h"
#include "core/UserPreferences.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "gl/TabControlRenderer.h"
#include "gl/support/GLTest.h"
#include "gl/support/RecordingDisplay.h"
#include "scene/BrainSceneRenderer.h"
#include "scene/BrainSceneView.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#ifdef CORVANE_ATLASGEN
#define REQUIRE_ATLASGEN()
#else
#define REQUIRE_ATLASGEN() GTEST_SKIP() << "the atlas generator is not part of this build"
#endif

namespace scenetest
{

// The user atlas folder of the whole test program: tiny atlases 310 (one space) and 350 (two), made on
// first use. The bare-grid reader finds atlas 310 through the installed atlas set, so the scenes open
// their atlases through it too.
const std::string& InstalledAtlasRoot();

// Small atlases of any id, opened outside the atlas set.
inline std::shared_ptr<Atlas> MicroAtlas(unsigned int id)
{
    static TempDir dir;
    static std::map<unsigned int, std::string> folders;
    std::string& folder = folders[id];
    if (folder.empty())
    {
        folder = dir.File(std::to_string(id));
        GenerateAtlas("micro", id, folder);
    }
    return std::make_shared<Atlas>(folder);
}

// A data set placed in one space with expressors and features written by the test. Features follow the
// ontology: feature k is structure k, as the data-set readers lay them out.
class HandDataSet : public GeneExpression
{
public:
    HandDataSet(AtlasSpace* space, int experimentId, const std::string& symbol = "SYM", int dataType = GENE_EXPRESSION)
        : GeneExpression("name", symbol.c_str(), "0310", experimentId, 0, -1.0f)
        , m_space(space)
    {
        m_dataType = dataType;
        m_loaded = true;
        AddAtlasSpace(space);
    }

    // Fill every expressor before Finish; features point into the list.
    void Add(float x, float y, float z, float value, float density, const AnnotationLabel* label)
    {
        Expressor e;
        e.id = static_cast<unsigned int>(m_expressors[m_space].size() + 1);
        e.position[0] = x;
        e.position[1] = y;
        e.position[2] = z;
        e.intensity = value;
        e.density = density;
        e.label = label;
        m_expressors[m_space].push_back(e);
    }

    // Groups the expressors into one feature per ontology structure.
    void Finish(const BrainOntology& ontology)
    {
        std::vector<BrainFeature>& features = m_features[m_space];
        features.assign(ontology.GetNumLabels(), BrainFeature());
        for (unsigned int i = 0; i < ontology.GetNumLabels(); ++i)
            features[i].label = ontology.GetAnnotationLabelByIndex(i);
        for (Expressor& e : m_expressors[m_space])
            features[e.label ? e.label->index : 0].expressors.push_back(&e);
    }

    void SetStatistics(float mean, float deviation)
    {
        m_mean = mean;
        m_standardDeviation = deviation;
    }

    void SetGrid(std::vector<float> values)
    {
        m_gridValues = std::move(values);
        for (int axis = 0; axis < 3; ++axis)
        {
            m_gridSize[axis] = 1;
            m_gridSpacing[axis] = 1.0f;
        }
        m_gridSize[0] = static_cast<unsigned int>(m_gridValues.size());
    }

    void AddStreamLine(unsigned int structure, std::vector<ProjectionStreamLines::Point3d> points)
    {
        m_features[m_space][structure].streamLines.push_back(std::move(points));
    }

    std::vector<Expressor>& Expressors() { return m_expressors[m_space]; }

private:
    AtlasSpace* m_space;
};

// Every test gets its own settings store (pointing at the installed atlases) and a fresh palette.
class SceneTest : public GLTest
{
public:
    void SetUp() override
    {
        GLTest::SetUp();
        if (HasFailure())
            return;
#ifndef CORVANE_ATLASGEN
        GTEST_SKIP() << "the atlas generator is not part of this build";
#endif
        m_store.SetValue("UserAtlasPath", InstalledAtlasRoot());
        PlatformHooks::SetDefaultsStore(&m_store);
        UserPreferences::ResetPreferences();
        ResourcePath::ClearCache();
        static bool listed = false;
        if (!listed)
            AtlasSet::GetAtlases()->Reload();
        listed = true;
        BrainExpressionModel::SetColorCounter(0);
    }

    void TearDown() override
    {
        renderer.reset();
        model.reset();
        display.reset();
        genes.clear();
        PlatformHooks::SetDefaultsStore(nullptr);
        UserPreferences::ResetPreferences();
        GLTest::TearDown();
    }

    void SetPreference(const std::string& key, const std::string& value)
    {
        m_store.SetValue(key, value);
        UserPreferences::ResetPreferences();
    }

    static std::shared_ptr<Atlas> Installed(unsigned int id)
    {
        return AtlasSet::GetAtlasWithId(id);
    }

    // The model, a recording display of that size and the renderer on it, attached and laid out.
    void MakeScene(std::shared_ptr<Atlas> atlas, int width = 640, int height = 480, TabControlRenderer* tabs = nullptr)
    {
        ASSERT_TRUE(atlas);
        model = std::make_unique<BrainExpressionModel>(atlas);
        if (!display)
            display = std::make_unique<RecordingDisplay>(width, height);
        renderer = std::make_unique<BrainSceneRenderer>(display.get(), model.get(), tabs, nullptr);
        display->SetRenderer(renderer.get());
    }

    BrainSceneView& View(int index)
    {
        return *renderer->GetViews().at(index);
    }
    AtlasSpace* Space(int index = 0)
    {
        return model->GetAtlas()->GetSpace(static_cast<unsigned int>(index));
    }
    const BrainOntology& Ontology()
    {
        return *model->GetAtlas()->GetOntology();
    }
    const AnnotationLabel* Label(const std::string& abbreviation)
    {
        return Ontology().GetAnnotationLabel(abbreviation);
    }

    // A data set held by the test, added to the model (which announces it to the renderer).
    HandDataSet& AddDataSet(std::shared_ptr<HandDataSet> gene)
    {
        genes.push_back(gene);
        model->AddGeneExpression(gene, false);
        return *gene;
    }

    std::shared_ptr<HandDataSet> NewDataSet(int experimentId, int space = 0, const std::string& symbol = "SYM",
                                            int dataType = GeneExpression::GENE_EXPRESSION)
    {
        return std::make_shared<HandDataSet>(Space(space), experimentId, symbol, dataType);
    }

    MemoryDefaultsStore m_store;
    std::unique_ptr<BrainExpressionModel> model;
    std::unique_ptr<RecordingDisplay> display;
    std::unique_ptr<BrainSceneRenderer> renderer;
    std::vector<std::shared_ptr<GeneExpression>> genes;
};

} // namespace scenetest
