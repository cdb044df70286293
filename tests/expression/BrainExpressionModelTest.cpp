#include <sstream>

#include "ExpressionFixture.h"
#include "atlas/AtlasSpace.h"
#include "expression/Bookmark.h"

namespace
{

using Model = BrainExpressionModel;
using P = Image3dPlane::Plane;

// One setter call, what it must store, and what it announces with notify true and false.
struct SetterCase
{
    const char* what;
    std::function<void(Model&, bool notify)> call;
    std::function<bool(Model&)> stored;
    Events withNotify;
    Events withoutNotify;
};

const float QUATERNION[4] = {0.5f, 0.5f, 0.5f, 0.5f};
const float ORIGIN[3] = {1, 2, 3};
const float OUTSIDE[3] = {-1.0f, 0.25f, 2.0f};

std::vector<SetterCase> SetterCases()
{
    return {
        {"zoom below the range",
         [](Model& m, bool n) { m.SetZoom(10, n); },
         [](Model& m) { return m.GetZoom() == 15; },
         {{12, 15}},
         {}},
        {"zoom above the range",
         [](Model& m, bool n) { m.SetZoom(300, n); },
         [](Model& m) { return m.GetZoom() == 250; },
         {{12, 250}},
         {}},
        {"zoom is announced truncated",
         [](Model& m, bool n) { m.SetZoom(33.7f, n); },
         [](Model& m) { return m.GetZoom() == 33.7f; },
         {{12, 33}},
         {}},
        {"unchanged zoom",
         [](Model& m, bool n) { m.SetZoom(40, n); },
         [](Model& m) { return m.GetZoom() == 40; },
         {},
         {}},
        {"threshold below 0",
         [](Model& m, bool n) { m.SetExpressionDensityVisibilityThreshold(-5, -1, n); },
         [](Model& m) { return m.GetExpressionDensityVisibilityThreshold() == Range(0, -1); },
         {{25, 0}},
         {}},
        {"window with its maximum under its minimum",
         [](Model& m, bool n) { m.SetVolumeRenderWindow(100, 50, n); },
         [](Model& m) { return m.GetVolumeRenderWindow() == Range(50, 50); },
         {{28, 0}},
         {}},
        {"MIP window without upper limit",
         [](Model& m, bool n) { m.SetMIPWindow(10, -1, n); },
         [](Model& m) { return m.GetMIPWindow() == Range(10, -1); },
         {{27, 0}},
         {}},
        {"level threshold",
         [](Model& m, bool n) { m.SetExpressionLevelVisibilityThreshold(3, 9, n); },
         [](Model& m) { return m.GetExpressionLevelVisibilityThreshold() == Range(3, 9); },
         {{25, 0}},
         {}},
        {"expression window keeps the smaller bound low",
         [](Model& m, bool n) { m.SetExpressionWindow(10, 5, n); },
         [](Model& m) { return m.GetExpressionWindow() == Range(5, 5); },
         {{29, 0}},
         {}},
        {"cutting box keeps its thickness",
         [](Model& m, bool n) {
             m.SetCuttingPlaneLocation(P::HORIZONTAL, 0.5f, false, n);
             m.SetCuttingPlaneLocation(P::HORIZONTAL, 0.7f, true, n);
         },
         [](Model& m) { return m.GetCuttingPlaneLocation(P::HORIZONTAL, true) == 0.5f - 0.0001f; },
         {{13, 1}, {13, 1}},
         {}},
        {"hidden probe",
         [](Model& m, bool n) { m.SetProbeLocation(OUTSIDE, nullptr, n); },
         [](Model& m) {
             const float* p = m.GetProbeLocation();
             return m.GetProbeVisible() && p[0] == 0 && p[1] == 0.25f && p[2] == 1;
         },
         {{15, 0}, {15, 0}},
         {}},
        {"slice location",
         [](Model& m, bool n) { m.SetMPRSliceLocation(P::SAGITTAL, 1.5f, n); },
         [](Model& m) { return m.GetMPRSliceLocation(P::SAGITTAL) == 1; },
         {{5, 2}},
         {}},
        {"plane visibility",
         [](Model& m, bool n) { m.SetMPRPlaneVisible(P::HORIZONTAL, true, n); },
         [](Model& m) { return m.GetMPRPlaneVisible(P::HORIZONTAL); },
         {{6, 0}},
         {}},
        {"mesh style",
         [](Model& m, bool n) { m.SetMeshDisplayStyle(Model::TRANSLUCENT_MESHES, n); },
         [](Model& m) { return m.GetMeshDisplayStyle() == Model::TRANSLUCENT_MESHES; },
         {{7, 1}},
         {}},
        {"compass",
         [](Model& m, bool n) { m.SetCompassLocation(Model::COMPASS_HIDDEN, n); },
         [](Model& m) { return m.GetCompassLocation() == Model::COMPASS_HIDDEN; },
         {{9, 2}},
         {}},
        {"rotation, even unchanged",
         [](Model& m, bool n) { m.SetRotation(m.GetRotation(), n); },
         [](Model&) { return true; },
         {{10, 0}},
         {}},
        {"origin",
         [](Model& m, bool n) { m.SetOrigin(ORIGIN, n); },
         [](Model& m) { return m.GetOrigin()[2] == 3; },
         {{11, 0}},
         {}},
        {"image alpha",
         [](Model& m, bool n) { m.SetImageAlpha(0.3f, n); },
         [](Model& m) { return m.GetImageAlpha() == 0.3f; },
         {{23, 0}},
         {}},
        {"annotation alpha",
         [](Model& m, bool n) { m.SetAnnotationAlpha(2.0f, n); },
         [](Model& m) { return m.GetAnnotationAlpha() == 2.0f; },
         {{24, 0}},
         {}},
        {"threshold controls",
         [](Model& m, bool n) { m.ShowThresholdControls(false, n); },
         [](Model& m) { return !m.ThresholdControlsVisible(); },
         {{26, 0}},
         {}},
        {"image display mode",
         [](Model& m, bool n) { m.SetImageDisplayMode(Model::CORONAL_PLATE, n); },
         [](Model& m) { return m.GetImageDisplayMode() == Model::CORONAL_PLATE; },
         {{30, 0}},
         {}},
        // The mode is read from the model: the announcement carries none.
        {"image display mode, sagittal",
         [](Model& m, bool n) { m.SetImageDisplayMode(Model::SAGITTAL_PLATE, n); },
         [](Model& m) { return m.GetImageDisplayMode() == Model::SAGITTAL_PLATE; },
         {{30, 0}},
         {}},
        {"cutting planes visible",
         [](Model& m, bool n) { m.SetCuttingPlanesVisible(true, n); },
         [](Model& m) { return m.GetCuttingPlanesVisible(); },
         {{14, 0}},
         {}},
        {"a plain colour mode tells the z-score display too",
         [](Model& m, bool n) { m.SetGeneColorMode(std::string("jet"), n); },
         [](Model& m) { return m.GetGeneColorMode() == 3 && !m.ZScoresVisible(); },
         {{8, 0}, {8, 3}},
         {{8, 0}}},
        {"a z-score mode shows the z-score window",
         [](Model& m, bool n) { m.SetGeneColorMode(4, n); },
         [](Model& m) { return m.ZScoresVisible() && m.GetExpressionWindow() == Range(-2.5f, 2.5f); },
         {{8, 0}, {8, 4}},
         {{8, 0}}},
        {"an invalid colour mode",
         [](Model& m, bool n) { m.SetGeneColorMode(Bookmark::NO_GENE_COLOR_MODE, n); },
         [](Model& m) { return m.GetGeneColorMode() == 2; },
         {},
         {}},
        {"stop animations",
         [](Model& m, bool) { m.StopAnimations(); },
         [](Model&) { return true; },
         {{22, 0}},
         {{22, 0}}},
        {"silent settings",
         [](Model& m, bool) {
             m.SetLiveUpdate(true);
             m.SetToolMode(Model::PAN_TOOL);
             m.SetNextProbeLocation(ORIGIN);
         },
         [](Model& m) {
             return m.GetLiveUpdate() && m.GetToolMode() == Model::PAN_TOOL && m.GetNextProbeLocation()[1] == 2;
         },
         {},
         {}},
    };
}

} // namespace

TEST_F(ModelTest, EverySetterStoresAndAnnouncesAsItShould)
{
    for (const SetterCase& c : SetterCases())
        for (const bool notify : {true, false})
        {
            SCOPED_TRACE(std::string(c.what) + (notify ? " (notify)" : " (silent)"));
            m_store = MemoryDefaultsStore(); // the last model saved its settings
            UserPreferences::ResetPreferences();
            auto model = MakeModel(310);
            m_recorder.events.clear();
            c.call(*model, notify);
            EXPECT_TRUE(c.stored(*model));
            EXPECT_EQ(notify ? c.withNotify : c.withoutNotify, m_recorder.events);
        }
}

TEST_F(ModelTest, AFailedCallChangesNothingAndSaysWhy)
{
    auto model = MakeModel(310);
    auto other = OpenGeneratedAtlas(77);
    const auto foreign = std::make_shared<HandDataSet>(other->GetSpace(0u), 5);
    const auto homeless = std::make_shared<HandDataSet>(nullptr, 6);
    model->AddGeneExpression(std::make_shared<HandDataSet>(model->GetAtlas()->GetSpace(0u), 4), true);
    const P bad = static_cast<P>(3);
    const struct
    {
        std::function<void()> call;
        std::string message;
    } cases[] = {
        {[&] { model->RemoveGene(1); }, "RemoveGene index out of range."},
        {[&] { model->SetGeneColor(-1, 1, 1, 1); }, "SetGeneColor index out of range."},
        {[&] { model->SetGeneVisible(1, false); }, "SetGeneVisible index out of range."},
        {[&] { model->SetMPRSliceLocation(bad, 0.2f, true); }, "Invalid MPR plane specified."},
        {[&] { model->SetMPRPlaneVisible(bad, true, true); }, "Invalid MPR plane specified."},
        {[&] { model->GetMPRPlaneVisible(static_cast<P>(-1)); }, "Invalid MPR plane specified."},
        {[&] { model->GetMPRSliceLocation(bad); }, "Invalid MPR plane specified."},
        {[&] { model->UISetMPRPlaneVisible(bad, true, true); }, "Invalid MPR plane specified."},
        {[&] { model->SetCuttingPlaneLocation(bad, 0.2f, true, true); }, "Invalid cutting plane specified."},
        {[&] { model->GetCuttingPlaneLocation(bad, false); }, "Invalid cutting plane specified."},
        {[&] { model->AddGeneExpression(foreign, true); }, "The atlas meta-data (" + other->GetName() +
                                                               ") does not match the current open atlas (" +
                                                               model->GetAtlas()->GetName() + ")."},
        {[&] { model->AddGeneExpression(homeless, true); }, "Atlas not available for this data set"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.message);
        std::ostringstream before;
        Bookmark("state", Bookmark::EVERYTHING, model.get()).SaveXML(before, model->GetAtlas()->GetOntology().get(), 0);
        m_recorder.events.clear();
        std::string message = "no error";
        try
        {
            c.call();
        }
        catch (const std::exception& error)
        {
            message = error.what();
        }
        EXPECT_EQ(c.message, message);
        std::ostringstream after;
        Bookmark("state", Bookmark::EVERYTHING, model.get()).SaveXML(after, model->GetAtlas()->GetOntology().get(), 0);
        EXPECT_EQ(before.str(), after.str());
        EXPECT_EQ(1, model->GetNumGenes());
        EXPECT_EQ(BrainExpressionModel::GetColorCounter(), 1);
        EXPECT_TRUE(m_recorder.events.empty());
    }
}

TEST_F(ModelTest, DataSetsTakeThePaletteInTurnAcrossModels)
{
    auto first = MakeModel(310);
    auto second = MakeModel(310);
    AtlasSpace* a = first->GetAtlas()->GetSpace(0u);
    AtlasSpace* b = second->GetAtlas()->GetSpace(0u);
    for (int i = 1; i <= 5; ++i)
        ASSERT_TRUE((i % 2 ? first.get() : second.get())
                        ->AddGeneExpression(std::make_shared<HandDataSet>(i % 2 ? a : b, i), true));
    const auto sixth = std::make_shared<HandDataSet>(a, 6);
    sixth->SetColor(0, 0, 0);
    first->AddGeneExpression(sixth, true);
    const auto colorOf = [](const GeneExpression& gene) {
        return std::vector<float>(gene.GetColor(), gene.GetColor() + 3);
    };
    EXPECT_EQ((std::vector<float>{0.9f, 0.9f, 0.0f}), colorOf(*sixth));
    EXPECT_EQ((std::vector<float>{0.0f, 0.7f, 0.3f}), colorOf(*second->GetGene(1))); // the fourth
    EXPECT_EQ(1, BrainExpressionModel::GetColorCounter());
}

TEST_F(ModelTest, ARepeatedExperimentRecoloursTheHeldDataSetAndAddsNothing)
{
    auto model = MakeModel(310);
    AtlasSpace* space = model->GetAtlas()->GetSpace(0u);
    ASSERT_TRUE(model->AddGeneExpression(std::make_shared<HandDataSet>(space, 8), true));
    m_recorder.events.clear();

    auto again = std::make_shared<HandDataSet>(space, 8);
    again->SetColor(0.1f, 0.2f, 0.3f);
    EXPECT_FALSE(model->AddGeneExpression(again, true)); // keeps its colour
    EXPECT_EQ(0.9f, model->GetGene(0)->GetColor()[0]);
    EXPECT_FALSE(model->AddGeneExpression(again, false));
    EXPECT_EQ(0.1f, model->GetGene(0)->GetColor()[0]);
    EXPECT_EQ((Events{{16, 0}}), m_recorder.events);
    EXPECT_EQ(1, model->GetNumGenes());

    // Experiment id 0 names no experiment.
    EXPECT_TRUE(model->AddGeneExpression(std::make_shared<HandDataSet>(space, 0), false));
    EXPECT_TRUE(model->AddGeneExpression(std::make_shared<HandDataSet>(space, 0), false));
    EXPECT_EQ(3, model->GetNumGenes());
    EXPECT_EQ(nullptr, model->GetGene(3));
    EXPECT_EQ(nullptr, model->GetGene(-1));

    // Data sets show z-scores on one range while a z-score mode is on, their own levels otherwise.
    const auto gene = std::static_pointer_cast<HandDataSet>(model->GetGene(0));
    gene->SetLevelRange(Range(1, 99));
    model->SetGeneColorMode(std::string("redgreen"), true);
    EXPECT_TRUE(model->AddGeneExpression(std::make_shared<HandDataSet>(space, 0), false));
    EXPECT_EQ(Range(-3, 3), model->GetGene(3)->GetDisplayRange());
    EXPECT_EQ(Range(-3, 3), gene->GetDisplayRange());
    model->SetGeneColorMode(std::string("jet"), true);
    EXPECT_EQ(Range(1, 99), gene->GetDisplayRange());
}

TEST_F(ModelTest, RemovalIsAnnouncedWhileTheDataSetIsStillHeld)
{
    auto model = MakeModel(310);
    AtlasSpace* space = model->GetAtlas()->GetSpace(0u);
    const auto gene = std::make_shared<HandDataSet>(space, 9);
    gene->AddExpressor(space, 6, 4, 5, 1000, nullptr);
    model->AddGeneExpression(gene, true);
    model->SelectExpressor(gene.get(), space, &(*gene->GetExpressors(space))[0], true);
    std::vector<int> heldWhileTold;
    m_recorder.hook = [&](int code, Model* m, int arg) {
        if (code == GENE_REMOVING)
            heldWhileTold.push_back(m->GetGene(arg) == gene ? m->GetNumGenes() : -1);
    };
    m_recorder.events.clear();
    model->RemoveGene(0);
    EXPECT_EQ(std::vector<int>{1}, heldWhileTold);
    // The selection goes with it: the probe is parked and hidden, the gene unselected.
    EXPECT_EQ((Events{{4, 0}, {15, 0}, {15, 0}, {18, 0}, {19, 0}}), m_recorder.events);
    EXPECT_EQ(nullptr, model->GetSelectedExpressor());
    EXPECT_EQ(nullptr, model->GetSelectedGene());
    EXPECT_EQ(0, model->GetNumGenes());
}

TEST_F(ModelTest, SelectingAnExpressorPlacesOrHidesTheProbe)
{
    auto model = MakeModel(310);
    AtlasSpace* space = model->GetAtlas()->GetSpace(0u);
    const unsigned int* d = space->GetViewDimensions();
    const auto gene = std::make_shared<HandDataSet>(space, 9);
    gene->AddExpressor(space, d[0] / 2.0f, d[1] / 4.0f, 1, 1000, nullptr);
    gene->AddExpressor(space, static_cast<float>(d[0]), 1, 1, 1000, nullptr); // on the box's far face
    model->AddGeneExpression(gene, true);
    Expressor* inside = &(*gene->GetExpressors(space))[0];
    Expressor* outside = &(*gene->GetExpressors(space))[1];
    m_recorder.events.clear();

    model->SelectExpressor(gene.get(), space, inside, true);
    EXPECT_EQ((Events{{19, 0}, {15, 0}, {15, 0}, {18, 0}}), m_recorder.events);
    EXPECT_TRUE(model->GetProbeVisible());
    EXPECT_EQ(0.5f, model->GetProbeLocation()[0]);
    EXPECT_EQ(0.25f, model->GetProbeLocation()[1]);
    EXPECT_EQ(space, model->GetProbeAtlasSpace());
    EXPECT_EQ(0, model->GetSelectedExpressorsGeneIndex());

    m_recorder.events.clear();
    model->SelectExpressor(gene.get(), space, inside, true); // the same: nothing
    EXPECT_TRUE(m_recorder.events.empty());
    model->SelectExpressor(gene.get(), space, outside, true);
    EXPECT_FALSE(model->GetProbeVisible());
    EXPECT_EQ(nullptr, model->GetProbeAtlasSpace());
    EXPECT_EQ((Events{{15, 0}, {15, 0}, {18, 0}}), m_recorder.events);

    // An expressor outside the expression filter is dropped with the filter.
    model->SelectExpressor(gene.get(), space, inside, false);
    inside->label = Label(*model, "TH");
    model->SetExpressionSelector(Label(*model, "CB")->subtreeSelector, false);
    EXPECT_EQ(nullptr, model->GetSelectedExpressor());
}

TEST_F(ModelTest, ListenersMayJoinAndLeaveWhileTheyAreTold)
{
    auto model = MakeModel(310);
    Recorder late, leaving, removedByOther;
    model->AddListener(&leaving);
    model->AddListener(&removedByOther);
    model->AddListener(&leaving); // once only
    model->AddListener(nullptr);
    m_recorder.hook = [&](int, Model* m, int) {
        m->AddListener(&late);
        m->RemoveListener(&removedByOther);
    };
    leaving.hook = [&](int, Model* m, int) { m->RemoveListener(&leaving); };
    model->StopAnimations();
    model->StopAnimations();
    EXPECT_EQ((Events{{22, 0}, {22, 0}}), m_recorder.events);
    EXPECT_EQ((Events{{22, 0}}), leaving.events);
    EXPECT_TRUE(removedByOther.events.empty());
    EXPECT_EQ((Events{{22, 0}}), late.events); // told from the next notification on
}

TEST_F(ModelTest, SavedSettingsAreCheckedAndWrittenBack)
{
    const struct
    {
        const char* what;
        unsigned int atlas;
        std::map<std::string, std::string> saved;
        float imageAlpha;
        Model::CompassLocation compass;
        int colorMode;
        bool zScores;
        std::string savedModeAfter;
    } cases[] = {
        {"out of range",
         310,
         {{"ImageAlpha", "150"}, {"CompassLocation", "-1"}, {"GeneColorMode", "9"}},
         0.5f,
         Model::COMPASS_IN_CORNER,
         0,
         false,
         "0"},
        {"z-score mode outside the microarray atlas",
         310,
         {{"GeneColorMode", "5"}},
         0.5f,
         Model::COMPASS_IN_CORNER,
         2,
         false,
         "2"},
        {"the initial mode switches nothing",
         310,
         {{"GeneColorMode", "3"}, {"ImageAlpha", "20"}},
         0.2f,
         Model::COMPASS_IN_CORNER,
         3,
         false,
         "3"},
        {"microarray atlas: constant becomes jet, saved as constant",
         351,
         {{"GeneColorMode", "0"}, {"CompassLocation", "1"}},
         0.5f,
         Model::COMPASS_AT_BREGMA,
         3,
         false,
         "0"},
        {"microarray atlas keeps a z-score mode",
         351,
         {{"GeneColorMode", "4"}},
         0.5f,
         Model::COMPASS_IN_CORNER,
         4,
         true,
         "4"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        m_store = MemoryDefaultsStore();
        UserPreferences::ResetPreferences();
        for (const auto& [key, value] : c.saved)
            m_store.SetValue(key, value);
        {
            Model model(OpenGeneratedAtlas(c.atlas));
            EXPECT_EQ(c.imageAlpha, model.GetImageAlpha());
            EXPECT_EQ(c.compass, model.GetCompassLocation());
            EXPECT_EQ(c.colorMode, model.GetGeneColorMode());
            EXPECT_EQ(c.zScores, model.ZScoresVisible());
            if (c.atlas == 351)
            {
                EXPECT_EQ(Range(0, 0), model.GetExpressionLevelVisibilityThreshold());
                if (!c.zScores)
                {
                    EXPECT_EQ(Range(2, 10), model.GetExpressionWindow());
                }
            }
            model.SetAnnotationAlpha(0.337f, false);
        }
        EXPECT_EQ(c.savedModeAfter, m_store.GetValue("GeneColorMode"));
        EXPECT_EQ("33", m_store.GetValue("AnnotationAlpha"));
    }
}

TEST_F(ModelTest, StructurePresetsFollowTheAtlas)
{
    const std::vector<std::string> inner351 = {"NA", "Cx", "OLF", "STR", "TH", "ac", "VL", "CORR", "SMP", "PROJ"};
    const struct
    {
        unsigned int atlas;
        std::vector<std::string> searchable;
        Events searchableEvents;
        std::vector<std::string> inner;
        Events innerEvents;
    } cases[] = {
        // The mouse atlases mark their large divisions by level 100 and the deep structures by level 200.
        {310, {"Cx", "BS", "CB"}, {{2, 0}}, {"HiF", "STR", "TH", "ac", "VL"}, {{2, 0}}},
        {350, {"CH", "BS", "CB", "FT", "VS", "CORR", "SMP", "PROJ"}, {{2, 0}}, {}, {{2, 0}}},
        {351, {"CH", "HiF", "BS", "CB", "FT", "VS"}, {{2, 0}, {2, 0}}, inner351, {{2, 0}, {15, 0}, {2, 0}}},
        {77,
         {"CH", "BS", "CB", "FT", "VS", "CORR", "SMP", "PROJ"},
         {{2, 0}},
         {"NA", "CH", "Cx", "OLF", "HiF", "STR", "BS", "TH", "CB", "FT", "ac", "VS", "VL", "CORR", "SMP", "PROJ"},
         {{2, 0}, {15, 0}, {2, 0}}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.atlas);
        auto model = MakeModel(c.atlas);
        m_recorder.events.clear();
        model->ShowSearchableStructures();
        EXPECT_EQ(c.searchable, Names(*model, model->GetStructureSelector()));
        EXPECT_EQ(c.searchableEvents, m_recorder.events);
        model->SetStructureSelector(BrainExpressionModel::Selector(0, false), false);
        m_recorder.events.clear();
        model->ShowInnerStructures();
        EXPECT_EQ(c.inner, Names(*model, model->GetStructureSelector()));
        EXPECT_EQ(c.innerEvents, m_recorder.events);
        // Showing a probe structure in an atlas of one space places the probe there.
        EXPECT_EQ(c.atlas == 77 ? model->GetAtlas()->GetSpace(0u) : nullptr, model->GetProbeAtlasSpace());
    }
}

TEST_F(ModelTest, DenseExpressorsChooseTheStructures)
{
    auto model = MakeModel(310);
    AtlasSpace* space = model->GetAtlas()->GetSpace(0u);
    const auto gene = std::make_shared<HandDataSet>(space, 3);
    gene->AddExpressor(space, 1, 1, 1, 0.3f, Label(*model, "TH"));
    gene->AddExpressor(space, 1, 1, 1, 0.25f, Label(*model, "CB")); // not above the limit
    gene->AddExpressor(space, 1, 1, 1, 5.0f, nullptr);
    model->AddGeneExpression(gene, true);
    const int indices[] = {7, 0, -1};
    m_recorder.events.clear();
    model->SetStructureSelectorForGenes(indices, 3);
    EXPECT_EQ(std::vector<std::string>{"TH"}, Names(*model, model->GetStructureSelector()));
    EXPECT_EQ((Events{{2, 0}}), m_recorder.events);
}

TEST_F(ModelTest, ProjectionDataSetsShareOneViewerPage)
{
    auto model = MakeModel(310);
    AtlasSpace* space = model->GetAtlas()->GetSpace(0u);
    const auto first = std::make_shared<HandDataSet>(space, 11, GeneExpression::PROJECTION);
    const auto plain = std::make_shared<HandDataSet>(space, 12);
    const auto second = std::make_shared<HandDataSet>(space, 13, GeneExpression::PROJECTION);
    first->AddExpressor(space, 3.5f, 2.25f, 7, 1000, nullptr);
    for (const auto& gene : {first, plain, second})
        model->AddGeneExpression(gene, true);
    model->SelectExpressor(first.get(), space, &(*first->GetExpressors(space))[0], false);
    std::vector<std::string> urls;
    model->GetExperimentURLs({first.get(), plain.get(), second.get()}, urls);
    const std::vector<std::string> expected = {
        "http://127.0.0.1:8470/viewer/0378/experiments?ids=11,13&colors=11(229/229/0),13(0/153/178)"
        "&coords=3500,2250,7000",
        "http://127.0.0.1:8470/experiment/0310/12",
    };
    EXPECT_EQ(expected, urls);
}
