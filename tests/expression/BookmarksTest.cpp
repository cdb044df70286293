#include <cstdio>
#include <deque>
#include <fstream>
#include <sstream>

#include "ExpressionFixture.h"
#include "atlas/AnnotationLabel.h"
#include "expression/Bookmark.h"
#include "expression/BookmarksFile.h"
#include "expression/BookmarksIOAdapter.h"
#include "expression/BookmarksReader.h"

namespace
{

using P = Image3dPlane::Plane;
using Item = BookmarksFile::Item;

const float C = 0.70710677f;

// What a reader hands over: groups as "name|expanded|parent group" and bookmarks with their parent group.
class RecordingAdapter : public BookmarksIOAdapter
{
public:
    void* AddGroup(const std::string& name, bool expanded, void* parent) override
    {
        groups.push_back(name + "|" + (expanded ? "open" : "closed") + "|" + ParentName(parent));
        return &groups.back(); // a deque keeps its elements in place
    }
    void AddBookmark(const Bookmark& bookmark, void* parent) override
    {
        bookmarks.push_back(bookmark);
        parents.push_back(ParentName(parent));
    }
    static std::string ParentName(void* parent)
    {
        return parent ? static_cast<std::string*>(parent)->substr(0, static_cast<std::string*>(parent)->find('|'))
                      : "top";
    }

    std::deque<std::string> groups;
    std::vector<Bookmark> bookmarks;
    std::vector<std::string> parents;
};

std::string SaveXML(const Bookmark& bookmark, int indent = 0)
{
    std::ostringstream out;
    bookmark.SaveXML(out, bookmark.GetAtlas() ? bookmark.GetAtlas()->GetOntology().get() : nullptr, indent);
    return out.str();
}

class BookmarksTest : public ModelTest
{
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        if (!IsSkipped())
            m_atlas = OpenGeneratedAtlas(310);
    }

    Bookmark::Selector Own(std::initializer_list<const char*> abbreviations)
    {
        const auto ontology = m_atlas->GetOntology();
        Bookmark::Selector selector(ontology->GetNumLabels(), false);
        for (const char* a : abbreviations)
            selector.Merge(ontology->GetAnnotationLabel(a)->selector);
        return selector;
    }

    // Every part set to something other than the defaults.
    Bookmark Full(const std::string& name, int flags)
    {
        Bookmark b(name, flags);
        b.SetAtlas(m_atlas);
        b.ResetSelectors();
        b.SetExpressionSelector(Own({"TH", "CH"}));
        b.SetStructureSelector(Own({"CB"}));
        const float rotation[4] = {0, C, 0, C};
        const float origin[3] = {1.5f, -2, 0};
        b.SetRotation(rotation);
        b.SetOrigin(origin);
        b.SetZoom(62.5f);
        b.SetMPRSlice(P::CORONAL, true, 0.25f);
        b.SetMPRSlice(P::HORIZONTAL, true, -1);
        b.SetMPRSlice(P::SAGITTAL, true, 0);
        b.SetCuttingPlane(P::CORONAL, 0, 1);
        b.SetCuttingPlane(P::HORIZONTAL, 0.1f, 0.9f);
        b.SetCuttingPlane(P::SAGITTAL, 0.2f, 0.3f);
        b.SetExpressionLevelThreshold(Range(3, 9));
        b.SetExpressionDensityThreshold(Range(0, -1));
        b.SetExpressionWindow(Range(10, 200));
        return b;
    }

    std::vector<Item> Tree()
    {
        Bookmark deep("Deep", Bookmark::ZOOM);
        return {
            Item::Group("A<&\"'>", true, {Item::Leaf(Full("Full", 127)), Item::Leaf(Bookmark("Nothing", 0))}),
            Item::Group("Closed", false, {Item::Group("Inner", true, {Item::Leaf(deep)})}),
        };
    }

    std::shared_ptr<Atlas> m_atlas;
};

const char* const GOLDEN = R"(<?xml version="1.0" encoding="utf-8"?>
<Bookmarks>
    <BookmarkGroup name="A&lt;&amp;&quot;&apos;&gt;" expanded="true">
        <Bookmark name="Full">
            <ExpressionFilter>
                <Structure id="2011" name="CH"/>
                <Structure id="2077" name="TH"/>
            </ExpressionFilter>
            <AtlasStructures>
                <Structure id="2088" name="CB"/>
            </AtlasStructures>
            <Rotation>0 0.707107 0 0.707107</Rotation>
            <Origin>1.5 -2 0</Origin>
            <Zoom>62.5</Zoom>
            <NisslSlice orientation="coronal" location="0.25"/>
            <NisslSlice orientation="sagittal" location="0"/>
            <ClippingPlane orientation="coronal" lower="0" upper="1"/>
            <ClippingPlane orientation="horizontal" lower="0.1" upper="0.9"/>
            <ClippingPlane orientation="sagittal" lower="0.2" upper="0.3"/>
            <ExpressionLevelThreshold lower="3" upper="9"/>
            <ExpressionDensityThreshold/>
            <ExpressionWindow lower="10" upper="200"/>
        </Bookmark>
        <Bookmark name="Nothing">
        </Bookmark>
    </BookmarkGroup>
    <BookmarkGroup name="Closed">
        <BookmarkGroup name="Inner" expanded="true">
            <Bookmark name="Deep">
                <Zoom>40</Zoom>
            </Bookmark>
        </BookmarkGroup>
    </BookmarkGroup>
</Bookmarks>
)";

} // namespace

TEST_F(BookmarksTest, TheFileIsWrittenExactly)
{
    std::ostringstream out;
    out.precision(2); // the caller's stream settings do not reach the numbers
    BookmarksFile::Write(out, Tree());
    EXPECT_EQ(GOLDEN, out.str());
}

TEST_F(BookmarksTest, AnotherXMLReaderFindsTheSameElements)
{
    TempDir dir;
    const std::string path = dir.Write("Bookmarks.xml", BookmarksFile::Compose(Tree()));
    const std::string script = dir.Write("list.py", "import sys, xml.etree.ElementTree as ET\n"
                                                    "for e in ET.parse(sys.argv[1]).iter():\n"
                                                    "    print('|'.join([e.tag] + ['%s=%s' % a for a in "
                                                    "e.attrib.items()]))\n");
    const std::string listing = dir.File("listing");
    ASSERT_EQ(0, std::system(("python3 '" + script + "' '" + path + "' > '" + listing + "'").c_str()));
    const std::string expected = "Bookmarks\n"
                                 "BookmarkGroup|name=A<&\"'>|expanded=true\n"
                                 "Bookmark|name=Full\n"
                                 "ExpressionFilter\nStructure|id=2011|name=CH\nStructure|id=2077|name=TH\n"
                                 "AtlasStructures\nStructure|id=2088|name=CB\n"
                                 "Rotation\nOrigin\nZoom\n"
                                 "NisslSlice|orientation=coronal|location=0.25\n"
                                 "NisslSlice|orientation=sagittal|location=0\n"
                                 "ClippingPlane|orientation=coronal|lower=0|upper=1\n"
                                 "ClippingPlane|orientation=horizontal|lower=0.1|upper=0.9\n"
                                 "ClippingPlane|orientation=sagittal|lower=0.2|upper=0.3\n"
                                 "ExpressionLevelThreshold|lower=3|upper=9\n"
                                 "ExpressionDensityThreshold\n"
                                 "ExpressionWindow|lower=10|upper=200\n"
                                 "Bookmark|name=Nothing\n"
                                 "BookmarkGroup|name=Closed\n"
                                 "BookmarkGroup|name=Inner|expanded=true\n"
                                 "Bookmark|name=Deep\nZoom\n";
    EXPECT_EQ(expected, ReadBytes(listing));
}

TEST_F(BookmarksTest, AWrittenFileReadsAndRestoresToTheSameState)
{
    TempDir dir;
    const std::string path = dir.Write("Bookmarks.xml", BookmarksFile::Compose(Tree()));
    RecordingAdapter adapter;
    BookmarksReader(path.c_str(), &adapter, m_atlas);
    EXPECT_EQ((std::deque<std::string>{"A<&\"'>|open|top", "Closed|closed|top", "Inner|open|Closed"}), adapter.groups);
    ASSERT_EQ(3u, adapter.bookmarks.size());
    EXPECT_EQ((std::vector<std::string>{"A<&\"'>", "A<&\"'>", "Inner"}), adapter.parents);
    const Bookmark& read = adapter.bookmarks[0];
    EXPECT_EQ(127, read.GetFlags());
    EXPECT_EQ(Bookmark::NO_GENE_COLOR_MODE, read.GetGeneColorMode());
    EXPECT_EQ(0, adapter.bookmarks[1].GetFlags());

    // The file written again is the file read: nothing is lost or reordered.
    std::vector<Item> again = Tree();
    again[0].children[0] = Item::Leaf(read);
    again[0].children[1] = Item::Leaf(adapter.bookmarks[1]);
    again[1].children[0].children[0] = Item::Leaf(adapter.bookmarks[2]);
    EXPECT_EQ(GOLDEN, BookmarksFile::Compose(again));

    // Restored into a fresh document, the state captures back to the bookmark that was written.
    auto model = MakeModel(310);
    const int colorMode = model->GetGeneColorMode();
    read.Restore(model.get());
    EXPECT_EQ(colorMode, model->GetGeneColorMode());
    const Bookmark captured("Full", 127, model.get());
    EXPECT_EQ(SaveXML(Full("Full", 127)), SaveXML(captured));
    // A visible plane without location is not part of the file.
    EXPECT_FALSE(captured.GetMPRPlaneVisible(P::HORIZONTAL));
}

TEST_F(BookmarksTest, TheReaderSkipsWhatItCannotUse)
{
    TempDir dir;
    const std::string path = dir.Write("Bookmarks.xml", R"(<?xml version="1.0"?>
<Bookmarks>
  <BookmarkGroup>
    <Bookmark name="b">
      <ExpressionFilter>
        <Structure id="2077" name="TH"/><Structure id="2011" name="CH"/><Structure id="0" name="NA"/>
        <Structure id="-4" name="X"/><Structure id="424242" name="Else&amp;where"/><Structure name="Y"/>
      </ExpressionFilter>
      <ClippingPlane orientation="coronal" lower="-0.1" upper="0.5"/>
      <ClippingPlane orientation="oblique" lower="0.1" upper="0.5"/>
      <NisslSlice orientation="sagittal"/>
      <ExpressionWindow/>
      <Rotation>1 2 3</Rotation>
      <Zoom>1e999</Zoom>
      <Unknown lower="1"/>
    </Bookmark>
  </BookmarkGroup>
  <BookmarkGroup name="" expanded="yes"><Bookmark/></BookmarkGroup>
</Bookmarks>
)");
    RecordingAdapter adapter;
    BookmarksReader(path.c_str(), &adapter, m_atlas);
    EXPECT_EQ((std::deque<std::string>{"Bookmark Group|closed|top", "Bookmark Group|closed|top"}), adapter.groups);
    ASSERT_EQ(2u, adapter.bookmarks.size());
    const Bookmark& b = adapter.bookmarks[0];
    EXPECT_EQ(1 | 4 | 8 | 16 | 64, b.GetFlags());
    EXPECT_EQ(Range(256, -256), b.GetExpressionWindow());
    EXPECT_FALSE(b.GetMPRPlaneVisible(P::SAGITTAL));
    EXPECT_EQ(0.0f, b.GetRotation()[0]);
    // Known structures in table order, then those of other atlases as they were read.
    EXPECT_EQ("<Bookmark name=\"b\">\n"
              "    <ExpressionFilter>\n"
              "        <Structure id=\"2011\" name=\"CH\"/>\n"
              "        <Structure id=\"2077\" name=\"TH\"/>\n"
              "        <Structure id=\"424242\" name=\"Else&amp;where\"/>\n"
              "    </ExpressionFilter>\n"
              "    <Rotation>0 0 0 0</Rotation>\n"
              "    <Origin>0 0 0</Origin>\n"
              "    <Zoom>inf</Zoom>\n"
              "    <ExpressionLevelThreshold/>\n"
              "    <ExpressionDensityThreshold/>\n"
              "    <ExpressionWindow/>\n"
              "</Bookmark>\n",
              SaveXML(b));

    // Restored: the window without bounds is left alone, the plane without location hidden, the zoom
    // clamped; in another atlas the structures are matched by database id.
    auto model = MakeModel(351);
    model->SetMPRPlaneVisible(P::SAGITTAL, true, false);
    const Range window = model->GetExpressionWindow();
    b.Restore(model.get());
    EXPECT_EQ(window, model->GetExpressionWindow());
    EXPECT_FALSE(model->GetMPRPlaneVisible(P::SAGITTAL));
    EXPECT_EQ(250.0f, model->GetZoom());
    EXPECT_EQ(std::vector<std::string>{"TH"}, Names(*model, model->GetExpressionSelector()));
}

TEST_F(BookmarksTest, NamesLoseWhatXMLCannotHold)
{
    const struct
    {
        const char* what;
        std::string name;
        std::string written;
        std::string read;
    } cases[] = {
        {"control characters",
         "a\x01"
         "b\x1f"
         "c\x7f",
         "abc\x7f", "abc\x7f"},
        {"white space kept as references", "a\tb\nc\rd", "a&#9;b&#10;c&#13;d", "a\tb\nc\rd"},
        {"accents and emoji", "\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80", "\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80",
         "\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80"},
        {"a lone Latin-1 byte", "caf\xe9!", "caf!", "caf!"},
        {"not characters", "x\xef\xbf\xbe\xef\xbf\xbfy", "xy", "xy"},
        {"surrogate, overlong, past the last code point",
         "1\xed\xa0\x80"
         "2\xc0\xaf"
         "3\xf4\x90\x80\x80"
         "4",
         "1234", "1234"},
        {"cut short", "ok\xe2\x82", "ok", "ok"},
    };
    TempDir dir;
    const std::string script = dir.Write("names.py", "import sys, xml.etree.ElementTree as ET\n"
                                                     "for e in ET.parse(sys.argv[1]).iter('BookmarkGroup'):\n"
                                                     "    sys.stdout.buffer.write(e.get('name').encode() + b'|')\n");
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        const std::string file =
            BookmarksFile::Compose({Item::Group(c.name, false, {Item::Leaf(Bookmark(c.name, 0))})});
        EXPECT_NE(std::string::npos, file.find("<BookmarkGroup name=\"" + c.written + "\">")) << file;
        EXPECT_NE(std::string::npos, file.find("<Bookmark name=\"" + c.written + "\">")) << file;
        const std::string path = dir.Write("Bookmarks.xml", file);
        const std::string listing = dir.File("listing");
        ASSERT_EQ(0, std::system(("python3 '" + script + "' '" + path + "' > '" + listing + "'").c_str()));
        EXPECT_EQ(c.read + "|", ReadBytes(listing));
        RecordingAdapter adapter;
        BookmarksReader(path.c_str(), &adapter, m_atlas);
        ASSERT_EQ(1u, adapter.bookmarks.size());
        EXPECT_EQ(c.read, adapter.bookmarks[0].GetName());
        EXPECT_EQ(c.read + "|closed|top", adapter.groups.at(0));
        EXPECT_EQ(file, BookmarksFile::Compose({Item::Group(c.read, false, {Item::Leaf(adapter.bookmarks[0])})}));
    }
}

TEST_F(BookmarksTest, AFileOfAnotherAtlasIsWrittenBackByteForByte)
{
    // Atlas 351 numbers CH and CB its own way: 310 knows only TH and ac of these, and would list them first.
    auto other = MakeModel(351);
    const auto ontology = other->GetAtlas()->GetOntology();
    Bookmark::Selector selector(ontology->GetNumLabels(), false);
    for (const char* a : {"TH", "CB", "CH", "ac"})
        selector.Merge(ontology->GetAnnotationLabel(a)->selector);
    other->SetStructureSelector(selector, false);
    other->SetExpressionSelector(selector, false);
    const Bookmark written("Theirs", Bookmark::ATLAS_STRUCTURES | Bookmark::EXPRESSION_FILTER | Bookmark::ZOOM,
                           other.get());
    const std::vector<Item> tree = {Item::Group("G", true, {Item::Leaf(written)}), Item::Leaf(Full("Ours", 127))};
    const std::string file = BookmarksFile::Compose(tree);
    ASSERT_LT(file.find("id=\"1001\""), file.find("id=\"2077\""));

    TempDir dir;
    const std::string path = dir.Write("Bookmarks.xml", file);
    RecordingAdapter adapter;
    BookmarksReader(path.c_str(), &adapter, m_atlas);
    ASSERT_EQ(2u, adapter.bookmarks.size());
    const Bookmark& read = adapter.bookmarks[0];
    EXPECT_EQ(m_atlas, read.GetAtlas());
    EXPECT_EQ(2u, read.GetUnknownStructures().size()); // CH and CB by their 351 ids
    const std::vector<Item> again = {Item::Group("G", true, {Item::Leaf(read)}), Item::Leaf(adapter.bookmarks[1])};
    EXPECT_EQ(file, BookmarksFile::Compose(again));

    // Restored in either atlas the structures match by database id.
    auto own = MakeModel(310);
    read.Restore(own.get());
    EXPECT_EQ((std::vector<std::string>{"TH", "ac"}), Names(*own, own->GetStructureSelector()));
    auto theirs = MakeModel(351);
    read.Restore(theirs.get());
    EXPECT_EQ(Names(*other, selector), Names(*theirs, theirs->GetStructureSelector()));
    EXPECT_EQ(Names(*other, selector), Names(*theirs, theirs->GetExpressionSelector()));

    // Structures chosen anew are written from the bookmark's own ontology.
    Bookmark changed = read;
    changed.SetStructureSelector(Own({"CB"}));
    const std::string text = SaveXML(changed);
    EXPECT_NE(std::string::npos, text.find("<AtlasStructures>\n        <Structure id=\"2088\" name=\"CB\"/>\n    </"));
    EXPECT_EQ(2u, changed.GetUnknownExpressionStructures().size()); // the filter was not touched
}

TEST_F(BookmarksTest, UnreadableFilesFailClearlyAfterHandingOverWhatCameBefore)
{
    TempDir dir;
    const std::string golden = GOLDEN;
    const std::string cut = golden.substr(0, golden.find("<BookmarkGroup name=\"Closed\">") + 20);
    std::string deep;
    for (int i = 0; i < 20000; ++i)
        deep += "<BookmarkGroup name=\"g\">";
    const struct
    {
        const char* what;
        std::string content;
        size_t groups;
        size_t bookmarks;
    } cases[] = {
        {"cut in the middle", cut, 1, 2},
        {"empty", "", 0, 0},
        {"not XML", std::string("\0\xff\xfe garbage <<", 14), 0, 0},
        {"mismatched tags", "<Bookmarks><Bookmark name=\"x\"></BookmarkGroup></Bookmarks>", 0, 0},
        {"nested without end", "<Bookmarks>" + deep, 20000, 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        const std::string path = dir.Write("bad.xml", c.content);
        RecordingAdapter adapter;
        EXPECT_EQ("Error parsing bookmarks file.", ErrorOf([&] { BookmarksReader(path.c_str(), &adapter, m_atlas); }));
        EXPECT_EQ(c.groups, adapter.groups.size());
        EXPECT_EQ(c.bookmarks, adapter.bookmarks.size());
    }
    RecordingAdapter adapter;
    EXPECT_EQ("Bookmarks file could not be opened.",
              ErrorOf([&] { BookmarksReader(dir.File("missing.xml").c_str(), &adapter, m_atlas); }));
    const auto invalid = [&](const char* path, BookmarksIOAdapter* a) {
        try
        {
            BookmarksReader(path, a, m_atlas);
        }
        catch (const std::invalid_argument& error)
        {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ("A bookmark adapter is required to read bookmarks.", invalid("x", nullptr));
    EXPECT_EQ("Bookmark file name not specified.", invalid(nullptr, &adapter));
}

namespace
{

// Fails the named step of a replacement.
class FailingFiles : public BookmarksFile::FileOperations
{
public:
    explicit FailingFiles(std::string step)
        : m_step(std::move(step))
    {
    }
    int Open(const std::string& path) override { return m_step == "open" ? -1 : FileOperations::Open(path); }
    bool Write(int file, const char* data, std::size_t size) override
    {
        // A short write: part of the text reached the file.
        return m_step == "write" ? (FileOperations::Write(file, data, size / 2), false)
                                 : FileOperations::Write(file, data, size);
    }
    bool Flush(int file) override { return m_step != "flush" && FileOperations::Flush(file); }
    bool Close(int file) override { return FileOperations::Close(file) && m_step != "close"; }
    bool Copy(const std::string& from, const std::string& to) override
    {
        return m_step != "copy" && FileOperations::Copy(from, to);
    }
    bool Rename(const std::string& from, const std::string& to) override
    {
        return m_step != "rename" && FileOperations::Rename(from, to);
    }

private:
    std::string m_step;
};

} // namespace

TEST(BookmarksFile, ReplacingKeepsThePreviousFileAsBackup)
{
    TempDir dir;
    dir.Write("Bookmarks.xml", "old");
    dir.Write("Bookmarks.bak", "older");
    EXPECT_TRUE(BookmarksFile::Replace(dir.Path(), GOLDEN));
    EXPECT_EQ(GOLDEN, ReadBytes(dir.File("Bookmarks.xml")));
    EXPECT_EQ("old", ReadBytes(dir.File("Bookmarks.bak")));
    EXPECT_FALSE(fs::exists(dir.File("Bookmarks.new")));

    TempDir empty;
    EXPECT_TRUE(BookmarksFile::Replace(empty.Path(), "first"));
    EXPECT_EQ("first", ReadBytes(empty.File("Bookmarks.xml")));
    EXPECT_FALSE(fs::exists(empty.File("Bookmarks.bak")));
}

TEST(BookmarksFile, EveryFailedStepLeavesThePreviousFile)
{
    for (const char* step : {"open", "write", "flush", "close", "copy", "rename"})
    {
        SCOPED_TRACE(step);
        TempDir dir;
        dir.Write("Bookmarks.xml", "old");
        FailingFiles files(step);
        EXPECT_FALSE(BookmarksFile::Replace(dir.Path(), GOLDEN, files));
        EXPECT_EQ("old", ReadBytes(dir.File("Bookmarks.xml")));
        EXPECT_FALSE(fs::exists(dir.File("Bookmarks.new")));
    }
}

TEST(BookmarksFile, AFolderInTheWayIsLeftAlone)
{
    for (const char* folder : {"Bookmarks.new", "Bookmarks.bak", "Bookmarks.xml"})
    {
        SCOPED_TRACE(folder);
        TempDir dir;
        const bool xmlIsFolder = std::string(folder) == "Bookmarks.xml";
        if (!xmlIsFolder)
            dir.Write("Bookmarks.xml", "old");
        fs::create_directories(dir.File(folder));
        dir.Write(std::string(folder) + "/inside", "x");
        EXPECT_FALSE(BookmarksFile::Replace(dir.Path(), GOLDEN));
        if (!xmlIsFolder)
        {
            EXPECT_EQ("old", ReadBytes(dir.File("Bookmarks.xml")));
        }
        EXPECT_EQ("x", ReadBytes(dir.File(std::string(folder) + "/inside")));
        EXPECT_EQ(std::string(folder) == "Bookmarks.new", fs::exists(dir.File("Bookmarks.new")));
        EXPECT_EQ(std::string(folder) == "Bookmarks.bak", fs::exists(dir.File("Bookmarks.bak")));
    }
}
