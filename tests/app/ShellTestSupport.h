#pragma once

// Documents of the application shell over atlases generated for the demo server of this test program, with
// alerts, confirmations and browser requests recorded instead of shown.

#include "DemoServerFixture.h"
#include "RecordingHooks.h"

#include "app/CorvaneDoc.h"
#include "app/CorvaneDocWrapper.h"
#include "app/SingleDocumentController.h"
#include "core/PlatformHooks.h"
#include "platform/EventLoopSupport.h"

#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTreeView>

#include <cstdio>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

// Atlases generated with the demo server's address in their URL templates, made once per test program.
inline const std::string& ServedAtlasCopy(unsigned int id, const std::string& profile)
{
    static TempDir folder;
    static std::map<unsigned int, std::string> made;
    const auto found = made.find(id);
    if (found != made.end())
        return found->second;
    const std::string target = folder.File(std::to_string(id));
#ifdef CORVANE_ATLASGEN
    GenerateAtlas(profile, id, target, DemoServer::Get().Url());
#endif
    return made[id] = target;
}

// The ids of the first data sets the server lists for atlas 310.
inline std::vector<std::string> ServedDataSetIds(int count)
{
    const std::string url =
        DemoServer::Get().Url() + "/search/0310/gene?start=0&num=" + std::to_string(count) + "&term=";
    std::string answer;
    FILE* pipe = popen(("python3 -c 'import sys, urllib.request; sys.stdout.write(urllib.request.urlopen(sys.argv[1])"
                        ".read().decode())' '" +
                        url + "'")
                           .c_str(),
                       "r");
    char buffer[4096];
    std::size_t read = 0;
    while (pipe && (read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        answer.append(buffer, read);
    if (pipe)
        pclose(pipe);
    std::vector<std::string> ids;
    const std::regex series("<image-series>\\s*<image-series>\\s*<id>(\\d+)</id>");
    for (auto it = std::sregex_iterator(answer.begin(), answer.end(), series); it != std::sregex_iterator(); ++it)
        ids.push_back((*it)[1]);
    return ids;
}

// Clicks the check box of an item view's cell where the style draws it, its row opened and scrolled to first.
inline void ClickCheckBox(QAbstractItemView* view, const QModelIndex& cell)
{
    if (auto* tree = qobject_cast<QTreeView*>(view))
        for (QModelIndex parent = cell.parent(); parent.isValid(); parent = parent.parent())
            tree->expand(parent);
    view->scrollTo(cell);
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.rect = view->visualRect(cell);
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    const QRect indicator = view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, indicator.center());
}

// A shown document window of an installed atlas served by the demo server.
class DocumentFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_GENERATOR();
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "document windows need an X display";
        Install(310, "tiny");
        doc = Open(310);
        ASSERT_NE(nullptr, doc);
    }

    void TearDown() override
    {
        for (CorvaneDoc* open : opened)
            delete open;
        opened.clear();
        RunEventsFor(20);
    }

    void Install(unsigned int id, const std::string& profile)
    {
        std::filesystem::copy(ServedAtlasCopy(id, profile), root.Folder(std::to_string(id)),
                              std::filesystem::copy_options::recursive);
        AtlasSet::GetAtlases()->Reload();
    }

    CorvaneDoc* Open(unsigned int id)
    {
        CorvaneDoc* made = CorvaneDoc::initWithAtlas(id);
        if (!made)
            return nullptr;
        opened.push_back(made);
        made->makeWindowControllers();
        made->windowController()->resize(900, 600);
        made->showWindows();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(made->windowController()));
        return made;
    }

    CorvaneDocWrapper& Wrapper() { return *doc->docWrapper(); }
    TabControlRenderer& Tabs() { return *doc->tabControlRenderer(); }
    std::string Url(const std::string& path) const { return DemoServer::Get().Url() + path; }

    ServerAtlasRoot root;
    RecordingAlerts alerts;
    CorvaneDoc* doc = nullptr;
    std::vector<CorvaneDoc*> opened;
};
