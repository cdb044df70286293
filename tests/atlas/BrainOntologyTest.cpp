#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AtlasTestFiles.h"
#include "atlas/BrainOntology.h"

namespace
{

// Row index, annotation value and database id differ for every structure, so that a lookup that
// mixes two of the numberings cannot pass.
const char* const ONTOLOGY_V2 = "database_id,abbreviation,name,parent,id,red,green,blue,order,comment\n"
                                "900,root,Root,,50,10,20,30,0,top\n"
                                "500,grey,Grey matter,900,8,1,2,3,1,\n"
                                "700,CTX/a,\"grey matter, Cortex\",500,30,4,5,6,2,x\n"
                                "100,fiber,fiber tracts,900,2,7,8,9,3,\n"
                                "300,L1,Layer one,700,40,11,12,13,4,\n";

// The same tree without a header, parents named by abbreviation, written on another system.
const char* const ONTOLOGY_V1 = "\xEF\xBB\xBF"
                                "Root,root,,10,20,30,50,900,0,-2\r\n"
                                "Grey matter,grey,root,1,2,3,8,500,1,-2\r\n"
                                "\r\n"
                                "\"grey matter, Cortex\",CTX/a,grey,4,5,6,30,700,2,-5\r\n"
                                "fiber tracts,fiber,root,7,8,9,2,100,3,\r\n"
                                "Layer one,L1,CTX/a,11,12,13,40,300,4,-2\r\n";

std::vector<unsigned int> Indices(const BrainOntology& ontology,
                                  const GeneralAnnotationSelector<unsigned long long>& selector)
{
    std::vector<const AnnotationLabel*> labels;
    ontology.SelectorToLabelList(selector, labels);
    std::vector<unsigned int> indices;
    for (const AnnotationLabel* label : labels)
        indices.push_back(label->index);
    return indices;
}

void ExpectSampleTree(const BrainOntology& ontology)
{
    ASSERT_EQ(6u, ontology.GetNumLabels());
    const AnnotationLabel* root = ontology.GetAnnotationLabelByIndex(1);
    const AnnotationLabel* grey = ontology.GetAnnotationLabelByIndex(2);
    const AnnotationLabel* cortex = ontology.GetAnnotationLabelByIndex(3);
    const AnnotationLabel* fiber = ontology.GetAnnotationLabelByIndex(4);
    const AnnotationLabel* layer = ontology.GetAnnotationLabelByIndex(5);

    // The three numberings.
    EXPECT_EQ(cortex, ontology.GetAnnotationLabel(static_cast<unsigned short>(30)));
    EXPECT_EQ(cortex, ontology.GetAnnotationLabelByDatabaseId(700));
    EXPECT_EQ(30, cortex->annotationValue);
    EXPECT_EQ(700ul, cortex->databaseId);
    EXPECT_EQ(3u, cortex->index);
    EXPECT_EQ(grey, ontology.GetAnnotationLabel(static_cast<unsigned short>(8)));
    EXPECT_EQ(layer, ontology.GetAnnotationLabel(std::string("L1")));
    EXPECT_EQ(fiber, ontology.GetAnnotationLabelByDatabaseId(100));

    // Misses answer label 0.
    const AnnotationLabel* none = ontology.GetAnnotationLabelByIndex(0);
    EXPECT_EQ("No Annotation", none->name);
    EXPECT_EQ("NA", none->abbreviation);
    EXPECT_EQ(220, none->color[0]);
    EXPECT_EQ(0ul, none->databaseId);
    EXPECT_EQ(none, ontology.GetAnnotationLabel(static_cast<unsigned short>(0)));
    EXPECT_EQ(none, ontology.GetAnnotationLabel(static_cast<unsigned short>(31)));
    EXPECT_EQ(none, ontology.GetAnnotationLabel(static_cast<unsigned short>(51)));
    EXPECT_EQ(none, ontology.GetAnnotationLabel(std::string("l1")));
    EXPECT_EQ(none, ontology.GetAnnotationLabelByDatabaseId(30));
    EXPECT_EQ(none, ontology.GetAnnotationLabelByIndex(6));

    // Fields.
    EXPECT_EQ("grey matter, Cortex", cortex->name);
    EXPECT_EQ("Cortex", cortex->shortName);
    EXPECT_EQ("Grey matter", grey->shortName);
    EXPECT_EQ("Root", root->shortName);
    EXPECT_EQ("CTX_a", cortex->meshName);
    EXPECT_EQ(4, cortex->color[0]);
    EXPECT_EQ(6, cortex->color[2]);
    EXPECT_EQ(3, fiber->order);
    EXPECT_TRUE(layer->hasMesh);

    // The tree.
    EXPECT_EQ(nullptr, root->parent);
    EXPECT_EQ(root, grey->parent);
    EXPECT_EQ(cortex, layer->parent);
    ASSERT_EQ(2u, root->children.size());
    EXPECT_EQ(grey, root->children[0]);
    EXPECT_EQ(fiber, root->children[1]);
    EXPECT_EQ((std::vector<unsigned int>{1, 2, 3, 4, 5}), Indices(ontology, root->subtreeSelector));
    EXPECT_EQ((std::vector<unsigned int>{2, 4}), Indices(ontology, root->childrenSelector));
    EXPECT_EQ((std::vector<unsigned int>{2, 3, 5}), Indices(ontology, grey->subtreeSelector));
    EXPECT_EQ((std::vector<unsigned int>{5}), Indices(ontology, layer->selector));
    EXPECT_TRUE(none->selector.IsSet(6));
    EXPECT_EQ(none->selector, none->subtreeSelector);

    // Case-blind alphabetical order, label 0 last.
    const unsigned int expected[] = {4, 2, 3, 5, 1, 0};
    for (unsigned int position = 0; position < 6; ++position)
        EXPECT_EQ(expected[position], ontology.GetAnnotationLabelByAlphabeticalIndex(position)->index);
    EXPECT_EQ(none, ontology.GetAnnotationLabelByAlphabeticalIndex(6));
}

} // namespace

TEST(BrainOntology, ReadsParentsByDatabaseIdFromAHeaderedTable)
{
    TempDir dir;
    const BrainOntology ontology(dir.Write("ontology_v2.csv", ONTOLOGY_V2).c_str(), true, true, true);
    ExpectSampleTree(ontology);
    // Without a level column, levels come from the depth of labels with children only.
    EXPECT_EQ(0, ontology.GetAnnotationLabelByIndex(1)->level);
    EXPECT_EQ(1, ontology.GetAnnotationLabelByIndex(2)->level);
    EXPECT_EQ(2, ontology.GetAnnotationLabelByIndex(3)->level);
    EXPECT_EQ(-2, ontology.GetAnnotationLabelByIndex(4)->level);
    EXPECT_EQ(-2, ontology.GetAnnotationLabelByIndex(5)->level);
    EXPECT_EQ((std::vector<unsigned int>{2}), Indices(ontology, ontology.SelectorForLevel(1)));
}

TEST(BrainOntology, ReadsParentsByAbbreviationFromAFixedTableWithBomAndCrLf)
{
    TempDir dir;
    const BrainOntology ontology(dir.Write("ontology.csv", ONTOLOGY_V1).c_str(), false, false, true);
    ExpectSampleTree(ontology);
    EXPECT_EQ(0, ontology.GetAnnotationLabelByIndex(1)->level);
    EXPECT_EQ(1, ontology.GetAnnotationLabelByIndex(2)->level);
    EXPECT_EQ(2, ontology.GetAnnotationLabelByIndex(3)->level); // -5 in the file counts as unset
    EXPECT_EQ(0, ontology.GetAnnotationLabelByIndex(4)->level); // an empty field is 0
    EXPECT_EQ(-2, ontology.GetAnnotationLabelByIndex(5)->level);

    // The mark alone on the first line leaves an empty line, which a table without header drops.
    const std::string blankFirst = std::string("\xEF\xBB\xBF\r\n") + (ONTOLOGY_V1 + 3);
    ExpectSampleTree(BrainOntology(dir.Write("blank.csv", blankFirst).c_str(), false, false, true));
}

TEST(BrainOntology, KeepsTheLaterRowOfOneValueAndTruncatesValuesTo16Bits)
{
    TempDir dir;
    const std::string path = dir.Write("ontology_v2.csv", "abbreviation,parent,id,database_id,mesh_name\n"
                                                          "a,,65543,1,mesh_a\n"
                                                          "b,1,7,2,\n"
                                                          "c,1,0,3,c\n");
    const BrainOntology ontology(path.c_str(), true, true, false);
    EXPECT_EQ(7, ontology.GetAnnotationLabelByIndex(1)->annotationValue);
    EXPECT_EQ("b", ontology.GetAnnotationLabel(static_cast<unsigned short>(7))->abbreviation);
    EXPECT_EQ("c", ontology.GetAnnotationLabel(static_cast<unsigned short>(0))->abbreviation);
    EXPECT_EQ("mesh_a", ontology.GetAnnotationLabelByIndex(1)->meshName);
    EXPECT_EQ("", ontology.GetAnnotationLabelByIndex(2)->meshName);
    EXPECT_FALSE(ontology.GetAnnotationLabelByIndex(1)->hasMesh);
}

// Mesh files are looked up as <mesh folder>/<name>.msh: a name from the file or from an abbreviation that
// would reach outside the folder means no mesh.
TEST(BrainOntology, MeshNamesStayInsideTheMeshFolder)
{
    const struct
    {
        const char* field;
        const char* expected;
    } fromColumn[] = {{"mesh_a", "mesh_a"},
                      {"../../../x", ""},
                      {"/etc/passwd", ""},
                      {"..", ""},
                      {"sub/dir", ""},
                      {"a..b", "a..b"},
                      {"", ""}};
    std::string table = "abbreviation,parent,id,database_id,mesh_name\n";
    for (const auto& c : fromColumn)
        table += std::string("s") + std::to_string(table.size()) + ",,1," + std::to_string(table.size()) + "," +
                 c.field + "\n";
    TempDir dir;
    const BrainOntology withColumn(dir.Write("ontology_v2.csv", table).c_str(), true, true, false);
    for (unsigned int i = 0; i < std::size(fromColumn); ++i)
        EXPECT_EQ(fromColumn[i].expected, withColumn.GetAnnotationLabelByIndex(i + 1)->meshName) << fromColumn[i].field;

    const BrainOntology fromAbbreviation(
        dir.Write("abbreviations.csv", "abbreviation,parent,id,database_id\nCTX/a,,1,1\n..,,2,2\n/abs,,3,3\n").c_str(),
        true, true, false);
    EXPECT_EQ("CTX_a", fromAbbreviation.GetAnnotationLabelByIndex(1)->meshName);
    EXPECT_EQ("", fromAbbreviation.GetAnnotationLabelByIndex(2)->meshName);
    EXPECT_EQ("_abs", fromAbbreviation.GetAnnotationLabelByIndex(3)->meshName);
}

TEST(BrainOntology, SetsMeshFlagsOnAncestorsButNotOnSiblings)
{
    TempDir dir;
    BrainOntology ontology(dir.Write("ontology_v2.csv", ONTOLOGY_V2).c_str(), true, true, false);
    ontology.SetAnnotationAtIndexHasSpatialObject(5, true, true);
    EXPECT_TRUE(ontology.GetAnnotationLabelByIndex(5)->hasMesh);
    EXPECT_TRUE(ontology.GetAnnotationLabelByIndex(3)->hasMesh);
    EXPECT_TRUE(ontology.GetAnnotationLabelByIndex(2)->hasMesh);
    EXPECT_TRUE(ontology.GetAnnotationLabelByIndex(1)->hasMesh);
    EXPECT_FALSE(ontology.GetAnnotationLabelByIndex(4)->hasMesh);
    ontology.SetAnnotationAtIndexHasSpatialObject(99, true, true); // beyond the table: nothing

    EXPECT_TRUE(ontology.SetAnnotationWithDatabaseIdHasSpatialObject(100, true));
    EXPECT_TRUE(ontology.GetAnnotationLabelByIndex(4)->hasMesh);
    EXPECT_FALSE(ontology.SetAnnotationWithDatabaseIdHasSpatialObject(101, true));
}

TEST(BrainOntology, TreatsALinkThatClosesACycleAsAnUndefinedParent)
{
    TempDir dir;
    const std::string path = dir.Write("ontology_v2.csv", "abbreviation,parent,id,database_id,name\n"
                                                          "root,,1,10,Root\n"
                                                          "a,30,2,20,A\n"
                                                          "b,20,3,30,B\n"
                                                          "c,40,4,40,C\n"
                                                          "d,99,5,50,D\n");
    const BrainOntology ontology(path.c_str(), true, true, true);
    const AnnotationLabel* a = ontology.GetAnnotationLabelByIndex(2);
    const AnnotationLabel* b = ontology.GetAnnotationLabelByIndex(3);
    const AnnotationLabel* c = ontology.GetAnnotationLabelByIndex(4);
    EXPECT_EQ(b, a->parent);
    EXPECT_EQ(nullptr, b->parent);
    EXPECT_EQ(nullptr, c->parent);
    EXPECT_TRUE(c->children.empty());
    // Structures without a parent keep their own names, not those of "No Annotation".
    EXPECT_EQ("B", b->shortName);
    EXPECT_EQ("D", ontology.GetAnnotationLabelByIndex(5)->shortName);
    // Only the tree under the first row is walked.
    EXPECT_EQ((std::vector<unsigned int>{1}),
              Indices(ontology, ontology.GetAnnotationLabelByIndex(1)->subtreeSelector));
    EXPECT_TRUE(a->subtreeSelector.IsEmpty());
    EXPECT_EQ(-2, b->level);
}

TEST(BrainOntology, SortsNamesEqualButForCaseInFileOrder)
{
    TempDir dir;
    const std::string path = dir.Write("ontology.csv", "Zeta,z,,0,0,0,1,1,0,0\n"
                                                       "beta,b2,z,0,0,0,2,2,0,0\n"
                                                       "Beta,b1,z,0,0,0,3,3,0,0\n"
                                                       "BETA,b3,z,0,0,0,4,4,0,0\n"
                                                       "alpha,a,z,0,0,0,5,5,0,0\n");
    const BrainOntology ontology(path.c_str(), false, false, true);
    const char* expected[] = {"a", "b2", "b1", "b3", "z", "NA"};
    for (unsigned int position = 0; position < 6; ++position)
        EXPECT_EQ(expected[position], ontology.GetAnnotationLabelByAlphabeticalIndex(position)->abbreviation);
}

TEST(BrainOntology, RefusesBrokenFilesWithAClearMessage)
{
    TempDir dir;
    auto load = [](const std::string& path, bool v2) {
        return [path, v2] { BrainOntology ontology(path.c_str(), v2, v2, true); };
    };
    const std::string missing = dir.File("none.csv");
    EXPECT_EQ("Could not open ontology file: " + missing, MessageOf<std::runtime_error>(load(missing, true)));

    for (const char* content : {"", "\n", "\xEF\xBB\xBF", "abbreviation,parent,id\n", "abbreviation,parent,id\r\n\r\n"})
    {
        const std::string path = dir.Write("v2.csv", content);
        EXPECT_EQ("Could not read ontology file: " + path, MessageOf<std::runtime_error>(load(path, true))) << content;
    }
    for (const char* content : {"", "\xEF\xBB\xBF\n\n"})
    {
        const std::string path = dir.Write("v1.csv", content);
        EXPECT_EQ("Could not read ontology file: " + path, MessageOf<std::runtime_error>(load(path, false)));
    }

    const std::string noId = dir.Write("noid.csv", "abbreviation,parent,name\na,,A\n");
    EXPECT_EQ("Ontology file is missing required fields.", MessageOf<std::runtime_error>(load(noId, true)));

    const std::string nineFields = dir.Write("nine.csv", "Root,root,,10,20,30,50,900,0\n");
    EXPECT_EQ("Unexpected line while reading ontology file: " + nineFields,
              MessageOf<std::runtime_error>(load(nineFields, false)));

    const std::string shortRow = dir.Write("short.csv", "abbreviation,parent,id,database_id\na,,1,1\nb,1,2\n");
    EXPECT_EQ("Unexpected line while reading ontology file: " + shortRow,
              MessageOf<std::runtime_error>(load(shortRow, true)));

    const std::string badId = dir.Write("badid.csv", "abbreviation,parent,id,database_id\na,,1,x1\n");
    EXPECT_EQ("x1", MessageOf<std::invalid_argument>(load(badId, true)));
}

TEST(BrainOntology, RefusesMoreRowsThanA16BitIndexHolds)
{
    TempDir dir;
    std::string table = "abbreviation,parent,id\n";
    for (unsigned int i = 0; i <= BrainOntology::MAX_ROWS; ++i)
        table += "x,,1\n";
    const std::string path = dir.Write("big.csv", table);
    EXPECT_EQ("Unexpected line while reading ontology file: " + path,
              MessageOf<std::runtime_error>([&] { BrainOntology ontology(path.c_str(), true, true, true); }));
}

TEST(AnnotationSelector, GrowsToTheLongerOperandAndTestsCommonWords)
{
    GeneralAnnotationSelector<unsigned long long> small(5, false);
    EXPECT_EQ(1u, small.GetNumWords());
    small.Set(5, true);
    EXPECT_TRUE(small.IsSet(5));
    EXPECT_EQ("Index exceeds selector length.", MessageOf<std::invalid_argument>([&] { small.Set(64, true); }));

    GeneralAnnotationSelector<unsigned long long> large(150, false);
    EXPECT_EQ(3u, large.GetNumWords());
    large.Set(130, true);
    EXPECT_FALSE(small.Intersects(large));
    large.Merge(small);
    EXPECT_EQ(3u, large.GetNumWords());
    EXPECT_TRUE(large.IsSet(5));
    EXPECT_TRUE(small.Intersects(large));

    small.Merge(large); // the shorter one grows
    EXPECT_EQ(3u, small.GetNumWords());
    EXPECT_TRUE(small.IsSet(130));

    small.Set(large, false);
    EXPECT_TRUE(small.IsEmpty());

    const GeneralAnnotationSelector<unsigned long long> all(70, true);
    EXPECT_TRUE(all.IsSet(127));
    EXPECT_FALSE(all.Intersects(GeneralAnnotationSelector<unsigned long long>(70, false)));
}

TEST(AnnotationSelector, InvertsBelowTheLabelCountOnly)
{
    using Selector = GeneralAnnotationSelector<unsigned long long>;
    struct Case
    {
        unsigned int count;
        std::vector<unsigned int> set;
    };
    // Counts on, below and past word boundaries.
    const Case cases[] = {{1, {}}, {5, {0, 3}}, {64, {63}}, {65, {0, 64}}, {130, {1, 64, 129}}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.count);
        Selector selector(c.count, false);
        for (unsigned int index : c.set)
            selector.Set(index, true);
        const Selector before = selector;
        selector.Invert(c.count);
        for (unsigned int index = 0; index < selector.GetNumWords() * 64; ++index)
        {
            const bool wasSet = std::find(c.set.begin(), c.set.end(), index) != c.set.end();
            EXPECT_EQ(index < c.count && !wasSet, selector.IsSet(index)) << index;
        }
        selector.Invert(c.count);
        EXPECT_EQ(before, selector);
    }
    Selector all(70, true);
    all.Invert(70);
    EXPECT_TRUE(all.IsEmpty());
}

TEST(BrainOntology, SurvivesDamagedTables)
{
    TempDir dir;
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round)
    {
        std::string damaged = round % 2 ? ONTOLOGY_V1 : ONTOLOGY_V2;
        for (int hit = 0; hit < 3; ++hit)
        {
            const char replacements[] = {',', '\n', '"', '\r', '-', '9', '0', 'x', '\0'};
            damaged[random() % damaged.size()] = replacements[random() % sizeof replacements];
        }
        const std::string path = dir.Write("ontology.csv", damaged);
        try
        {
            const BrainOntology ontology(path.c_str(), round % 2 == 0, round % 2 == 0, true);
            // Whatever loaded is a tree: every parent chain ends.
            for (const AnnotationLabel& label : ontology.GetLabels())
            {
                unsigned int steps = 0;
                for (const AnnotationLabel* up = &label; up; up = up->parent)
                    ASSERT_LE(++steps, ontology.GetNumLabels());
            }
        }
        catch (const std::exception&)
        {
        }
    }
}
