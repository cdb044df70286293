#pragma once

// Helpers of the expression tests: generated atlases, a settings store of the test's own, a listener that
// records what it is told, and data sets filled by hand.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "atlas/AtlasFixture.h"
#include "atlas/Atlas.h"
#include "atlas/BrainOntology.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"

// A micro atlas of the generator, generated once per id for the whole test program and opened anew
// for each caller (a document's atlas).
inline std::shared_ptr<Atlas> OpenGeneratedAtlas(unsigned int id)
{
    static TempDir dir;
    static std::map<unsigned int, std::string> folders;
    std::string& folder = folders[id];
    if (folder.empty())
    {
        GenerateAtlas("micro", id, dir.File(std::to_string(id)));
        folder = dir.File(std::to_string(id));
    }
    return std::make_shared<Atlas>(folder);
}

using Events = std::vector<std::pair<int, int>>;

class Recorder : public BrainExpressionModelListener
{
public:
    void ModelChanged(int code, BrainExpressionModel* model, int argument) override
    {
        events.emplace_back(code, argument);
        if (hook)
            hook(code, model, argument);
    }

    Events events;
    std::function<void(int, BrainExpressionModel*, int)> hook;
};

// A data set placed in one space, with what a download would have filled in.
class HandDataSet : public GeneExpression
{
public:
    HandDataSet(AtlasSpace* space, int experimentId, int dataType = GENE_EXPRESSION)
        : GeneExpression("name", "SYM", "0310", experimentId, 0, -1.0f)
    {
        m_dataType = dataType;
        m_loaded = true;
        if (space)
            AddAtlasSpace(space);
    }

    // Fill before selecting: selection keeps pointers into the list.
    void AddExpressor(const AtlasSpace* space, float x, float y, float z, float density, const AnnotationLabel* label)
    {
        Expressor expressor;
        expressor.id = static_cast<unsigned int>(m_expressors[space].size() + 1);
        expressor.position[0] = x;
        expressor.position[1] = y;
        expressor.position[2] = z;
        expressor.density = density;
        expressor.label = label;
        m_expressors[space].push_back(expressor);
    }

    void SetLevelRange(const Range& range) { m_levelRange = range; }
};

// Each test gets a fresh settings store and a palette that starts at its first colour.
class ModelTest : public testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_GENERATOR();
        PlatformHooks::SetDefaultsStore(&m_store);
        UserPreferences::ResetPreferences();
        BrainExpressionModel::SetColorCounter(0);
    }

    void TearDown() override
    {
        PlatformHooks::SetDefaultsStore(nullptr);
        UserPreferences::ResetPreferences();
    }

    std::unique_ptr<BrainExpressionModel> MakeModel(unsigned int atlasId)
    {
        auto model = std::make_unique<BrainExpressionModel>(OpenGeneratedAtlas(atlasId));
        model->AddListener(&m_recorder);
        return model;
    }

    const AnnotationLabel* Label(BrainExpressionModel& model, const std::string& abbreviation)
    {
        return model.GetAtlas()->GetOntology()->GetAnnotationLabel(abbreviation);
    }

    std::vector<std::string> Names(BrainExpressionModel& model, const BrainExpressionModel::Selector& selector)
    {
        std::vector<const AnnotationLabel*> labels;
        model.GetAtlas()->GetOntology()->SelectorToLabelList(selector, labels);
        std::vector<std::string> names;
        for (const AnnotationLabel* label : labels)
            names.push_back(label->abbreviation);
        return names;
    }

    MemoryDefaultsStore m_store;
    Recorder m_recorder;
};
