// The application's top: the preflight, the atlas chooser, "corv" URL requests, the preferences window, the
// update check and help page on the Host setting, one program per user, windows on their screen, and the
// desktop entry.

#include "ShellTestSupport.h"

#include "app/AtlasChooser.h"
#include "app/AtlasDownloadController.h"
#include "app/AtlasListModel.h"
#include "app/CorvaneAppDelegate.h"
#include "app/CorvaneWindowController.h"
#include "app/PreferencesController.h"
#include "app/ScreenFit.h"
#include "app/SingleInstance.h"
#include "app/Updater.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasFileError.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "gl/support/XWindow.h"
#include "platform/WindowActivationTracker.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QComboBox>
#include <QCursor>
#include <QDataStream>
#include <QFileDialog>
#include <QListWidget>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QTableView>
#include <QTimer>
#include <QtEndian>

#include <gtest/gtest.h>

#include <ctime>
#include <limits>
#include <set>
#include <thread>
#include <vector>

namespace
{

// Closes every document the controller holds, as the program does when it quits.
void CloseAllDocuments()
{
    CorvaneAppDelegate::Instance()->CloseAllDocuments();
    RunEventsFor(20);
}

// The window's saved frame as if saved on a screen twice as wide as its own, which Qt's restoring refuses.
QByteArray SavedOnAScreenTwiceAsWide(const QWidget& window)
{
    QByteArray saved = window.saveGeometry();
    qToBigEndian<qint32>(2 * window.screen()->geometry().width(), saved.data() + 46); // the screen's width
    return saved;
}

class AppShellTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_GENERATOR();
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "the shell's windows need an X display";
        CorvaneAppDelegate::Instance()->SetQuitWhenLastDocumentCloses(false);
    }
    void TearDown() override { CloseAllDocuments(); }

    void Install(unsigned int id, const std::string& profile)
    {
        std::filesystem::copy(ServedAtlasCopy(id, profile), root.Folder(std::to_string(id)),
                              std::filesystem::copy_options::recursive);
        AtlasSet::GetAtlases()->Reload();
    }

    ServerAtlasRoot root;
    RecordingAlerts alerts;
    RecordingBrowser browser;
};

TEST_F(AppShellTest, PreflightListsTheAtlasesOnce)
{
    CorvaneAppDelegate::ResetPreflight();
    Install(310, "tiny");
    EXPECT_TRUE(CorvaneAppDelegate::Instance()->preflight());
    // Later calls answer at once, whatever the atlas folder holds now.
    boost::filesystem::remove_all(root.Folder("310"));
    AtlasSet::GetAtlases()->Reload();
    EXPECT_TRUE(CorvaneAppDelegate::Instance()->preflight());
    EXPECT_FALSE(CorvaneAppDelegate::Instance()->applicationShouldOpenUntitledFile());
}

TEST_F(AppShellTest, ChooserClampsItsPreselectionAndNamesTheAtlases)
{
    for (unsigned int id : {310u, 350u, 378u})
        Install(id, id == 310 ? "tiny" : "micro");
    struct Case
    {
        int preselected, expected;
    };
    for (const Case& c : {Case{5, 2}, Case{3, 2}, Case{-3, 0}, Case{1, 1}})
    {
        std::unique_ptr<AtlasChooser> chooser(AtlasChooser::initWithAtlas(c.preselected));
        ASSERT_NE(nullptr, chooser);
        EXPECT_EQ(c.expected, chooser->atlas()) << c.preselected;
        EXPECT_EQ(c.expected, chooser->atlasListView()->currentRow()) << c.preselected;
    }
    std::unique_ptr<AtlasChooser> chooser(AtlasChooser::initWithAtlas(0));
    EXPECT_EQ(3, chooser->atlasListView()->count());
    // The set's order is by name.
    EXPECT_EQ("Ostrel Adult Mouse", chooser->objectValue(0).toStdString());
    EXPECT_EQ("", chooser->objectValue(-1).toStdString());
    EXPECT_EQ("", chooser->objectValue(3).toStdString());
}

TEST_F(AppShellTest, ChooserAnswersForItsButtonsAndItsCloseBox)
{
    for (unsigned int id : {310u, 350u})
        Install(id, id == 310 ? "tiny" : "micro");
    struct Case
    {
        const char* action;
        int response;
    };
    for (const Case& c : {Case{"choose", 1}, Case{"cancel", 0}, Case{"close box", AtlasChooser::kAborted}})
    {
        std::unique_ptr<AtlasChooser> chooser(AtlasChooser::initWithAtlas(0));
        QTimer::singleShot(50, chooser.get(), [&] {
            chooser->atlasListView()->setCurrentRow(1);
            if (std::string(c.action) == "choose")
                chooser->choose();
            else if (std::string(c.action) == "cancel")
                chooser->cancel();
            else
                chooser->close();
        });
        EXPECT_EQ(c.response, chooser->runModal()) << c.action;
        if (c.response == 1)
        {
            EXPECT_EQ(1, chooser->atlas());
        }
    }
    // Choose with nothing selected asks for a selection and stays open.
    std::unique_ptr<AtlasChooser> chooser(AtlasChooser::initWithAtlas(0));
    chooser->show();
    chooser->atlasListView()->clearSelection();
    chooser->choose();
    RunEventsFor(50);
    const QList<QMessageBox*> sheets = chooser->findChildren<QMessageBox*>();
    ASSERT_EQ(1, sheets.size());
    EXPECT_EQ("Please select an atlas.", sheets[0]->text().toStdString());
    EXPECT_EQ("Choose Atlas", sheets[0]->windowTitle().toStdString());
    EXPECT_TRUE(chooser->isVisible());
    sheets[0]->close();
}

TEST_F(AppShellTest, NewDocumentUsesTheOnlyAtlasOrTheChosenOne)
{
    Install(310, "tiny");
    SingleDocumentController* controller = SingleDocumentController::Instance();
    EXPECT_EQ(0, controller->chooseAtlas());
    CorvaneDoc* doc = controller->openUntitledDocumentAndDisplay();
    ASSERT_NE(nullptr, doc);
    EXPECT_EQ("Ostrel Adult Mouse", doc->windowController()->windowTitle().toStdString());
    CloseAllDocuments();

    Install(350, "micro");
    SingleDocumentController::SetRememberedAtlasIndex(1);
    int preselected = -1;
    QTimer::singleShot(100, [&] {
        auto* chooser = qobject_cast<AtlasChooser*>(QApplication::activeModalWidget());
        if (!chooser)
            return;
        preselected = chooser->atlasListView()->currentRow();
        chooser->atlasListView()->setCurrentRow(0);
        chooser->choose();
    });
    EXPECT_EQ(0, controller->chooseAtlas());
    EXPECT_EQ(1, preselected);
    EXPECT_EQ(0, SingleDocumentController::GetRememberedAtlasIndex());
    QTimer::singleShot(100, [] {
        if (auto* chooser = qobject_cast<AtlasChooser*>(QApplication::activeModalWidget()))
            chooser->cancel();
    });
    bool cancelled = false;
    EXPECT_EQ(nullptr, controller->openUntitledDocumentAndDisplay(&cancelled));
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(0, SingleDocumentController::GetRememberedAtlasIndex());

    // A second document's window opens down and right of the first, not over it, and within the screen, also
    // when the windows are as large as the screen (the default or a saved frame on a small one).
    ScreenFit fit;
    qApp->installEventFilter(&fit);
    QWidget large;
    large.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    root.Store().SetValue("DocumentWindowLocation", large.saveGeometry().toBase64().toStdString());
    // A new document of the chooser's row.
    const auto open = [controller](int row) {
        QTimer::singleShot(100, [row] {
            if (auto* chooser = qobject_cast<AtlasChooser*>(QApplication::activeModalWidget()))
            {
                chooser->atlasListView()->setCurrentRow(row);
                chooser->choose();
            }
        });
        return controller->openUntitledDocumentAndDisplay();
    };
    std::vector<CorvaneDoc*> docs;
    for (int row : {0, 1})
    {
        docs.push_back(open(row));
        ASSERT_NE(nullptr, docs.back()) << row;
    }
    const QPoint first = docs[0]->windowController()->pos(), second = docs[1]->windowController()->pos();
    EXPECT_GT(second.x(), first.x());
    EXPECT_GT(second.y(), first.y());
    EXPECT_TRUE(docs[0]->windowController()->screen()->availableGeometry().contains(
        docs[1]->windowController()->frameGeometry()));
    // One saved maximized stays so: the cascade leaves it in place.
    large.setWindowState(Qt::WindowMaximized);
    root.Store().SetValue("DocumentWindowLocation", large.saveGeometry().toBase64().toStdString());
    const CorvaneDoc* const maximized = open(1);
    ASSERT_NE(nullptr, maximized);
    EXPECT_TRUE(maximized->windowController()->isMaximized());
    CloseAllDocuments();
}

// An install closes every document, and the chooser that follows it asks for the next one: the program
// quits when nothing is left to show, and must wait for the choice.
TEST_F(AppShellTest, InstallingAnAtlasKeepsTheProgramUpUntilTheChosenAtlasOpens)
{
    Install(310, "tiny");
    CorvaneAppDelegate* delegate = CorvaneAppDelegate::Instance();
    ASSERT_NE(nullptr, delegate->documentWithAtlas(310));
    AtlasDownloadController::SetDocumentHost(delegate);
    struct Quitting
    {
        Quitting() { CorvaneAppDelegate::Instance()->SetQuitWhenLastDocumentCloses(true); }
        ~Quitting() { CorvaneAppDelegate::Instance()->SetQuitWhenLastDocumentCloses(false); }
    } quitting;
    AtlasDownloadController* downloads = AtlasDownloadController::Controller();
    downloads->Show();
    QTableView* rows = downloads->GetWindow()->findChild<QTableView*>("atlasListView");
    auto* catalogue = static_cast<AtlasListModel*>(rows->model());
    ASSERT_TRUE(RunEventsUntil([&] { return catalogue->rowCount() == 3; }, 60000));
    for (int row = 0; row < 3; ++row)
        if (catalogue->IsTicked(row) != (row == 1)) // the developing mouse only
            downloads->ToggleAtlasVisible(row);

    // The idle check looks while the chooser is up; the user chooses after it has looked.
    bool looked = false;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (auto* question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            for (QAbstractButton* button : question->buttons())
                if (button->text() == "Close All")
                    button->click();
        auto* chooser = qobject_cast<AtlasChooser*>(QApplication::activeModalWidget());
        if (!chooser)
            return;
        if (!looked)
        {
            looked = true;
            delegate->QuitIfIdle();
            return;
        }
        chooser->atlasListView()->setCurrentRow(chooser->atlasList().indexOf("Ostrel Developing Mouse"));
        chooser->choose();
    });
    user.start(50);
    downloads->GetWindow()->findChild<QPushButton*>("installButton")->click();
    ASSERT_TRUE(RunEventsUntil(
        [] {
            const std::vector<CorvaneDoc*>& open = SingleDocumentController::Instance()->documents();
            return open.size() == 1 && open[0]->expressionModel()->GetAtlas()->GetAtlasId() == 350;
        },
        120000));
    EXPECT_TRUE(looked);
    EXPECT_TRUE(SingleDocumentController::Instance()->documents()[0]->windowController()->isVisible());
}

// Answers the modal windows of the start-up as they come: each chooser takes the next row of `rows`, each
// panel is read into `panels` and closed.
class ModalAnswers : public QObject
{
public:
    explicit ModalAnswers(std::vector<int> rows)
        : m_rows(std::move(rows))
    {
        connect(&m_poll, &QTimer::timeout, this, &ModalAnswers::Answer);
        m_poll.start(20);
    }

    std::vector<std::string> panels;
    bool selectable = true;

private:
    void Answer()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal->property("answered").toBool())
            return;
        modal->setProperty("answered", true);
        if (auto* chooser = qobject_cast<AtlasChooser*>(modal))
        {
            chooser->atlasListView()->setCurrentRow(m_rows.empty() ? 0 : m_rows.front());
            if (!m_rows.empty())
                m_rows.erase(m_rows.begin());
            chooser->choose();
        }
        else if (auto* panel = qobject_cast<QMessageBox*>(modal))
        {
            panels.push_back(panel->text().toStdString());
            selectable = selectable && panel->textInteractionFlags().testFlag(Qt::TextSelectableByMouse);
            panel->accept();
        }
    }

    std::vector<int> m_rows;
    QTimer m_poll;
};

TEST_F(AppShellTest, ADamagedAtlasIsNamedWithItsFileAndAnotherCanBeChosen)
{
    Install(310, "tiny");
    Install(350, "micro");
    // A third folder whose Info.xml is cut short is left out of the list, and the start-up says so.
    std::filesystem::copy(root.Folder("350"), root.Folder("cut"), std::filesystem::copy_options::recursive);
    const std::string info = root.Folder("cut") + "/Info.xml";
    WriteBytes(info, ReadBytes(info).substr(0, 120));
    // The developing mouse's ontology is cut in the middle of a row.
    const std::string ontology = root.Folder("350") + "/ontology_v2.csv";
    const std::string rows = ReadBytes(ontology);
    WriteBytes(ontology, rows.substr(0, rows.size() / 2 + 5));
    AtlasSet::GetAtlases()->Reload();
    ASSERT_EQ(2, AtlasSet::GetAtlases()->GetNumAtlases());

    CorvaneAppDelegate::ResetPreflight();
    {
        ModalAnswers answers({});
        EXPECT_TRUE(CorvaneAppDelegate::Instance()->preflight());
        ASSERT_EQ(1u, answers.panels.size());
        EXPECT_EQ(AtlasFileError::Describe(root.Folder("cut"), info, "Error parsing atlas configuration file."),
                  answers.panels[0]);
    }

    // The damaged atlas is chosen first: its panel names atlas, file and reason, then the chooser comes back
    // and the other atlas opens.
    SingleDocumentController::SetRememberedAtlasIndex(1);
    ModalAnswers answers({1, 0});
    CorvaneDoc* doc = SingleDocumentController::Instance()->openUntitledDocumentAndDisplay();
    ASSERT_NE(nullptr, doc);
    EXPECT_EQ(310u, doc->expressionModel()->GetAtlas()->GetAtlasId());
    ASSERT_EQ(1u, answers.panels.size());
    const std::string reason = ErrorOf([&] { Atlas(root.Folder("350")).GetOntology(); });
    EXPECT_NE("no error", reason);
    EXPECT_EQ(AtlasFileError::Describe("Ostrel Developing Mouse", ontology, reason), answers.panels[0]);
    EXPECT_TRUE(answers.selectable);
    EXPECT_TRUE(alerts.alerts.empty());
    // A URL's alert names the atlas itself, once, then the reason and the file.
    CorvaneAppDelegate::Instance()->getUrl("corv://127.0.0.1/d?atlas=350&datasets=5");
    EXPECT_EQ(
        std::vector<std::string>{"Atlas Ostrel Developing Mouse could not be opened. " + reason + "\n\n" + ontology},
        alerts.alerts);
}

TEST_F(AppShellTest, UrlRequestsForAtlasesThatAreNotInstalledAskToDownload)
{
    Install(310, "tiny");
    struct Case
    {
        const char* url;
        const char* question;
    };
    for (const Case& c : {Case{"corv://127.0.0.1/demo/data?atlas=351&datasets=1",
                               "Ostrel Primate Microarray files are needed to view this data. Download now?"},
                          Case{"corv://127.0.0.1/demo/data?atlas=350&datasets=1",
                               "Ostrel Developing Mouse files are needed to view this data. Download now?"},
                          Case{"corv://127.0.0.1/demo/data?atlas=999&datasets=1",
                               "Ostrel Brain Atlas files are needed to view this data. Download now?"}})
    {
        alerts.confirmations.clear();
        alerts.answer = false;
        CorvaneAppDelegate::Instance()->getUrl(c.url);
        ASSERT_EQ(1u, alerts.confirmations.size()) << c.url;
        EXPECT_EQ(c.question, alerts.confirmations[0]);
        EXPECT_TRUE(alerts.alerts.empty());
        EXPECT_TRUE(SingleDocumentController::Instance()->documents().empty());
    }
}

TEST_F(AppShellTest, UrlRequestsSetRangeAndColourModeOnlyWhenGiven)
{
    Install(310, "tiny");
    const std::vector<std::string> ids = ServedDataSetIds(1);
    ASSERT_EQ(1u, ids.size());
    const std::string base = "corv://" + DemoServer::Get().Url().substr(7) + "/demo/data?atlas=310&datasets=" + ids[0];
    CorvaneAppDelegate::Instance()->getUrl(base);
    ASSERT_EQ(1u, SingleDocumentController::Instance()->documents().size());
    BrainExpressionModel* model = SingleDocumentController::Instance()->documents()[0]->expressionModel();
    model->SetExpressionWindow(1.0f, 9.0f, false);
    model->SetGeneColorMode(2, false);
    struct Case
    {
        const char* query;
        float low, high;
        int mode;
    };
    for (const Case& c : {Case{"&exprRange=0,5", 1.0f, 9.0f, 2}, Case{"&exprRange=2,0", 1.0f, 9.0f, 2},
                          Case{"&exprRange=2,5", 2.0f, 5.0f, 2}, Case{"&colormap=", 2.0f, 5.0f, 2},
                          Case{"&colormap=jet", 2.0f, 5.0f, 3}})
    {
        CorvaneAppDelegate::Instance()->getUrl(base + c.query);
        EXPECT_EQ(c.low, model->GetExpressionWindow().min) << c.query;
        EXPECT_EQ(c.high, model->GetExpressionWindow().max) << c.query;
        EXPECT_EQ(c.mode, static_cast<int>(model->GetGeneColorMode())) << c.query;
    }
    // One document per atlas, however many requests, and the data set once.
    EXPECT_EQ(1u, SingleDocumentController::Instance()->documents().size());
    EXPECT_TRUE(RunEventsUntil(
        [&] {
            return SingleDocumentController::Instance()
                       ->documents()[0]
                       ->docWrapper()
                       ->GetNumQueuedExpressionDownloads() == 0;
        },
        30000));
    EXPECT_EQ(1, model->GetNumGenes());
    EXPECT_TRUE(alerts.alerts.empty()) << alerts.alerts[0];
}

TEST_F(AppShellTest, RequestsWaitWhileAtlasesAreInstalled)
{
    Install(310, "tiny");
    EXPECT_EQ(nullptr, CorvaneDoc::initWithAtlas(999));
    const std::vector<std::string> ids = ServedDataSetIds(1);
    ASSERT_EQ(1u, ids.size());
    const std::string url = "corv://" + DemoServer::Get().Url().substr(7) + "/demo/data?atlas=310&datasets=" + ids[0];
    // While the installer rebuilds it the atlas set reads as empty: the request must not be answered yet.
    AtlasSet::GetAtlases()->SetLoading(true);
    CorvaneAppDelegate::Instance()->HandleArguments({QString::fromStdString(url)}, false);
    RunEventsFor(400);
    EXPECT_TRUE(SingleDocumentController::Instance()->documents().empty());
    EXPECT_TRUE(alerts.confirmations.empty());
    AtlasSet::GetAtlases()->SetLoading(false);
    EXPECT_TRUE(RunEventsUntil(
        [] {
            const std::vector<CorvaneDoc*>& documents = SingleDocumentController::Instance()->documents();
            return documents.size() == 1 && documents[0]->expressionModel()->GetNumGenes() == 1;
        },
        30000));
    EXPECT_TRUE(alerts.alerts.empty()) << alerts.alerts[0];
}

// Raises a window as the window system activates it, as window managers do: the tests' X server has none.
class RaisedOnActivation : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* const window = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::ActivationChange && window->isActiveWindow())
            window->raise();
        return false;
    }
};

// Each row sets up what is open when the program is launched again with the document window minimized, and
// names the window that then takes the keys: a document window brought back, or the panel that waits on it.
// The program's panels stay in front of the document window, also when the window system raises the window
// as it activates it, after the launch has returned. The launch path is the program's own.
TEST_F(AppShellTest, ASecondLaunchRestoresAndActivatesTheDocumentWindow)
{
    Install(310, "tiny");
    const std::vector<std::string> ids = ServedDataSetIds(1);
    ASSERT_EQ(1u, ids.size());
    const QString url = QString::fromStdString("corv://" + DemoServer::Get().Url().substr(7) +
                                               "/demo/data?atlas=310&datasets=" + ids[0]);
    CorvaneDoc* doc = SingleDocumentController::Instance()->openUntitledDocumentAndDisplay();
    CorvaneDoc* other = SingleDocumentController::Instance()->openUntitledDocumentAndDisplay();
    ASSERT_TRUE(doc && other);
    // The window system activates a window once it shows it.
    ASSERT_TRUE(RunEventsUntil([&] { return other->windowController()->isActiveWindow(); }, 5000));
    CorvaneWindowController* window = doc->windowController();
    RaisedOnActivation windowManager;
    window->installEventFilter(&windowManager);
    std::vector<QPointer<QDialog>> alertsUp;
    std::vector<QPointer<QWidget>> panels;
    const struct
    {
        const char* what;
        QStringList arguments;
        std::function<QWidget*()> setUp;
    } rows[] = {
        {"a URL", {url}, [&] { return window; }},
        {"no argument", {}, [&] { return window; }},
        {"an alert, a file panel and an alert on the window, the front one answered",
         {},
         [&] {
             for (int i = 0; i < 3; ++i)
                 alertsUp
                     .emplace_back(i == 1
                                       ? static_cast<QDialog*>(new QFileDialog(window))
                                       : new QMessageBox(QMessageBox::Warning, "", "Failed.", QMessageBox::Ok, window))
                     ->open();
             alertsUp.back()->close();
             return alertsUp[1].data();
         }},
        {"Download Atlases and Preferences open",
         {},
         [&] {
             AtlasDownloadController* downloads = AtlasDownloadController::Controller();
             downloads->Show();
             // Shown, the catalogue's answer leaves the window alone.
             const QAbstractItemModel* catalogue =
                 downloads->GetWindow()->findChild<QTableView*>("atlasListView")->model();
             EXPECT_TRUE(RunEventsUntil([&] { return catalogue->rowCount() > 0; }, 60000));
             PreferencesController::Instance()->showPreferences();
             panels = {downloads->GetWindow(), PreferencesController::Instance()->window()};
             // Both shown by the window system, which activates the second once it shows it.
             EXPECT_TRUE(RunEventsUntil(
                 [&] { return panels[0]->windowHandle()->isExposed() && QApplication::activeWindow() == panels[1]; },
                 5000));
             return window;
         }},
        {"a file panel on the window and an alert on the panel",
         {},
         [&] {
             auto* const panel = new QFileDialog(window);
             panel->open();
             alertsUp = {panel, new QMessageBox(QMessageBox::Warning, "", "Failed.", QMessageBox::Ok, panel)};
             alertsUp.back()->open();
             return alertsUp.back().data();
         }},
        {"another document window active last",
         {},
         [&] {
             other->windowController()->BringToFront();
             return other->windowController();
         }},
    };
    const auto stacked = [](const QWidget* shown) {
        const std::vector<std::string> order = ShownWindows();
        return std::find(order.begin(), order.end(), std::to_string(shown->winId())) - order.begin();
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        window->BringToFront();
        ASSERT_TRUE(RunEventsUntil([&] { return window->isActiveWindow(); }, 5000));
        QWidget* const expected = row.setUp();
        window->showMinimized();
        ASSERT_TRUE(RunEventsUntil([&] { return window->isMinimized(); }, 5000));
        CorvaneWindowController::HandleLaunch(row.arguments);
        QWidget* shown = expected;
        while (shown->parentWidget())
            shown = shown->parentWidget()->window();
        EXPECT_TRUE(
            RunEventsUntil([&] { return !shown->isMinimized() && QApplication::activeWindow() == expected; }, 5000));
        EXPECT_EQ(expected, WindowActivationTracker::PanelInFront(shown));
        for (QWidget* panel : std::exchange(panels, {}))
        {
            EXPECT_GT(stacked(panel), stacked(expected));
            panel->hide();
        }
        for (QDialog* alert : alertsUp)
            delete alert;
    }
    EXPECT_TRUE(alerts.alerts.empty()) << alerts.alerts[0];
}

// The user at Choose Atlas asked at start, a step a tick: puts up the sheet or the alert of the row, launches
// the program three times more, then sees whether the panel in front has the keys, and cancels.
class ChooserAtStart : public QObject
{
public:
    struct Row
    {
        const char* what;
        bool sheet, alert, restored;
    };

    ChooserAtStart(const Row& row, QWidget* document)
        : m_row(row)
        , m_document(document)
    {
        connect(&m_tick, &QTimer::timeout, this, &ChooserAtStart::Step);
        m_tick.start(50);
    }

    std::set<QWidget*> choosers;
    bool frontActive = false;

private:
    void Step()
    {
        QWidget* const modal = QApplication::activeModalWidget();
        if (!FoundChooser(modal))
            return;
        if (m_row.sheet && modal == m_chooser)
            AskWithNothingSelected();
        else if (m_row.alert && !m_alert)
            PutUpAnAlert();
        else if (m_launches < 3)
            Launch();
        else
            SeeThatTheFrontHasTheKeysAndCancel(modal);
    }

    bool FoundChooser(QWidget* modal)
    {
        if (auto* asked = qobject_cast<AtlasChooser*>(modal && modal->parentWidget() ? modal->parentWidget() : modal))
            choosers.insert(m_chooser = asked);
        return m_chooser;
    }

    void AskWithNothingSelected()
    {
        m_chooser->atlasListView()->clearSelection();
        m_chooser->choose();
    }

    void PutUpAnAlert()
    {
        m_alert = new QMessageBox(QMessageBox::Warning, "", "Failed.", QMessageBox::Ok, m_document);
        m_alert->open();
        if (m_row.restored)
        {
            // From the dock: the window system shows it again.
            m_chooser->showMinimized();
            m_chooser->showNormal();
        }
    }

    void Launch()
    {
        ++m_launches;
        CorvaneWindowController::HandleLaunch({});
    }

    void SeeThatTheFrontHasTheKeysAndCancel(QWidget* modal)
    {
        m_tick.stop();
        QWidget* const front = m_alert ? m_chooser.data() : modal;
        frontActive = RunEventsUntil([&] { return QApplication::activeWindow() == front; }, 5000);
        EXPECT_TRUE(!m_alert || WindowActivationTracker::PanelInFront(m_alert) == m_alert);
        delete m_alert;
        m_chooser->cancel();
    }

    const Row m_row;
    QWidget* const m_document;
    QPointer<AtlasChooser> m_chooser;
    QPointer<QMessageBox> m_alert;
    int m_launches = 0;
    QTimer m_tick;
};

// With Choose Atlas up at start, alone, with its sheet or with an alert that came on a document window after
// it, three launches bring forward the question's panel in front rather than asking three times more or
// bringing the alert; the alert still takes its own keys, also once the chooser has been minimized and restored.
TEST_F(AppShellTest, ASecondLaunchBringsForwardTheQuestionAskedAtStart)
{
    Install(310, "tiny");
    Install(350, "micro");
    for (const ChooserAtStart::Row& row : {ChooserAtStart::Row{"alone", false, false, false},
                                           {"with its sheet", true, false, false},
                                           {"with an alert on a document window", false, true, false},
                                           {"with an alert, then minimized and restored", false, true, true}})
    {
        SCOPED_TRACE(row.what);
        CorvaneDoc* const doc = row.alert ? CorvaneAppDelegate::Instance()->documentWithAtlas(310) : nullptr;
        const ChooserAtStart user(row, doc ? doc->windowController() : nullptr);
        EXPECT_EQ(nullptr, SingleDocumentController::Instance()->openUntitledDocumentAndDisplay());
        EXPECT_EQ(1u, user.choosers.size());
        EXPECT_TRUE(user.frontActive);
    }
}

// Each window of the program opens within its screen (a document window restored maximized stays so, also
// when saved on a screen of another width, and its saved normal frame comes back within the screen when it is
// made normal), and New and Quit reach the program from it: the panels have no menu bar. Download Atlases takes
// Quit also in an install, which has closed every document; New opens nothing then, while the atlases are
// being moved.
// Choose Atlas, New's own question, takes Quit only, also at start before the program's loop runs.
TEST_F(AppShellTest, EveryWindowOpensOnItsScreenAndTakesNewAndQuit)
{
    Install(310, "tiny");
    ScreenFit fit;
    qApp->installEventFilter(&fit);
    // Two monitors side by side, the pointer on the left one.
    const struct Monitors
    {
        Monitors(int width, int height)
        {
            const auto monitor = [&](const char* name, int left, const char* output) {
                return " --setmonitor " + std::string(name) + " " + std::to_string(width / 2) + "/300x" +
                       std::to_string(height) + "/200+" + std::to_string(left) + "+0 " + output;
            };
            CommandOutput("xrandr" + monitor("left", 0, "screen") + " && xrandr" + monitor("right", width / 2, "none"));
        }
        ~Monitors() { CommandOutput("xrandr --delmonitor left; xrandr --delmonitor right"); }
    } monitors(QGuiApplication::primaryScreen()->size().width(), QGuiApplication::primaryScreen()->size().height());
    ASSERT_TRUE(RunEventsUntil([] { return QGuiApplication::screens().size() == 2; }, 5000)) << "xrandr is needed";
    QCursor::setPos(QGuiApplication::screens()[0]->geometry().center());
    // Saved maximized on a screen twice as wide, whose frame Qt's restoring refuses, with a normal frame off the
    // edge of the left monitor.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize normal(screen.width() - 40, screen.height() / 2);
    QWidget larger;
    larger.setGeometry(QRect(QPoint(screen.width() + 100, 100), normal));
    larger.setWindowState(Qt::WindowMaximized);
    root.Store().SetValue("DocumentWindowLocation", SavedOnAScreenTwiceAsWide(larger).toBase64().toStdString());
    QWidget* const document = CorvaneAppDelegate::Instance()->documentWithAtlas(310)->windowController();
    PreferencesController::Instance()->showPreferences();
    const std::unique_ptr<AtlasChooser> chooser(AtlasChooser::initWithAtlas(0));
    QWidget* const panels[] = {PreferencesController::Instance()->window(),
                               AtlasDownloadController::Controller()->GetWindow(), chooser.get()};
    // Opened from the document window on the right monitor, each panel comes to that one, also from a place
    // off the left one.
    QScreen* const right = document->screen();
    for (QWidget* panel : panels)
    {
        panel->hide();
        panel->move(-6000, 5000);
        QApplication::setActiveWindow(document);
        panel->show();
    }
    const struct Case
    {
        const char* what;
        QWidget* window;
        bool maximized, installing;
        int opened;
    } cases[] = {
        {"a document", document, true, false, 1},
        {"Preferences", panels[0], false, false, 1},
        {"Download Atlases", panels[1], false, false, 1},
        {"Download Atlases in an install", panels[1], false, true, 0},
        {"Choose Atlas at start, before the program's loop", panels[2], false, false, 0},
    };
    for (const Case& c : cases)
    {
        QWidget* const window = c.window;
        EXPECT_EQ(c.maximized, window->isMaximized()) << c.what;
        // As large as the screen, as a window manager shows it; having never seen it normal, it has no normal
        // frame of its own to put back.
        if (c.maximized)
        {
            CommandOutput("xdotool windowsize " + std::to_string(window->winId()) + " " +
                          std::to_string(screen.width()) + " " + std::to_string(screen.height()));
            EXPECT_TRUE(RunEventsUntil([&] { return window->size() == screen.size(); }, 5000));
        }
        window->showNormal();
        EXPECT_TRUE(window->screen()->availableGeometry().contains(window->frameGeometry())) << c.what;
        EXPECT_EQ(right->name().toStdString(), window->screen()->name().toStdString()) << c.what;
        EXPECT_TRUE(!c.maximized || window->size() == normal) << c.what;
        AtlasSet::GetAtlases()->SetLoading(c.installing);
        const std::size_t open = SingleDocumentController::Instance()->documents().size();
        QApplication::setActiveWindow(window);
        QTest::keyClick(window, Qt::Key_N, Qt::ControlModifier);
        EXPECT_EQ(open + c.opened, SingleDocumentController::Instance()->documents().size()) << c.what;
        // Quit not taken: this ends whichever loop runs, the chooser's own too, and the row fails.
        bool lost = false;
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, [&lost] {
            lost = true;
            QApplication::exit(1);
        });
        guard.start(10000);
        QTimer::singleShot(0, window, [window] {
            QApplication::setActiveWindow(window);
            QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
        });
        if (window == chooser.get())
        {
            CorvaneAppDelegate::Instance()->SetQuitWhenLastDocumentCloses(true);
            chooser->runModal();
            CorvaneAppDelegate::Instance()->QuitIfIdle();
        }
        EXPECT_EQ(0, QApplication::exec()) << c.what;
        EXPECT_FALSE(lost) << c.what;
        EXPECT_TRUE(SingleDocumentController::Instance()->documents().empty()) << c.what;
        AtlasSet::GetAtlases()->SetLoading(false);
    }
}

TEST_F(AppShellTest, OpenIsOfferedOnlyForAtlasesWithDataSetFiles)
{
    SingleDocumentController* controller = SingleDocumentController::Instance();
    EXPECT_FALSE(controller->validateOpenDocument());
    Install(50000, "micro");
    EXPECT_FALSE(controller->validateOpenDocument());
    Install(310, "tiny");
    EXPECT_TRUE(controller->validateOpenDocument());
}

TEST_F(AppShellTest, MalformedUrlsAreReported)
{
    Install(310, "tiny");
    struct Case
    {
        const char* url;
        const char* alert;
    };
    for (const Case& c :
         {Case{"not a url", "Error parsing URL at Invalid URL: not a url"},
          Case{"corv://127.0.0.1/d?atlas=310&exprRange=a,b", "Error parsing URL at "},
          Case{"corv://127.0.0.1/d?atlas=310&datasets=5(1/2)", "Error parsing URL at "},
          Case{"corv://nonsense%%%", "Error parsing URL at corv://nonsense%%% (no atlas id"},
          Case{"corv://127.0.0.1/d?atlas=0&datasets=5", "Error parsing URL at corv://127.0.0.1/d?atlas=0"},
          Case{"corv://127.0.0.1/d?atlas=&datasets=5", "Error parsing URL at "},
          Case{"corv://127.0.0.1/d?atlas=x31&datasets=5", "Error parsing URL at x31"}})
    {
        alerts.alerts.clear();
        alerts.confirmations.clear();
        CorvaneAppDelegate::Instance()->getUrl(c.url);
        ASSERT_EQ(1u, alerts.alerts.size()) << c.url;
        EXPECT_EQ(0u, alerts.alerts[0].find(c.alert)) << alerts.alerts[0];
        // A URL that can name no atlas never offers a download.
        EXPECT_TRUE(alerts.confirmations.empty()) << c.url;
    }
}

TEST_F(AppShellTest, DataFilesOpenTheirAtlasDocument)
{
    Install(310, "tiny");
    const std::vector<std::string> ids = ServedDataSetIds(1);
    ASSERT_EQ(1u, ids.size());
    TempDir files;
    const std::string path = files.File("set.zip");
    ASSERT_EQ(0, std::system(("python3 -c 'import sys, urllib.request; open(sys.argv[2], \"wb\").write("
                              "urllib.request.urlopen(sys.argv[1]).read())' '" +
                              DemoServer::Get().Url() + "/demo/data/" + ids[0] + "' '" + path + "'")
                                 .c_str()));
    EXPECT_TRUE(CorvaneAppDelegate::Instance()->applicationOpenFile(path));
    ASSERT_EQ(1u, SingleDocumentController::Instance()->documents().size());
    EXPECT_EQ(1, SingleDocumentController::Instance()->documents()[0]->expressionModel()->GetNumGenes());
    EXPECT_EQ(path, SingleDocumentController::Instance()->recentDocuments().at(0));
    const std::string junk = files.Write("junk.zip", "PK\x03\x04 cut short");
    EXPECT_FALSE(CorvaneAppDelegate::Instance()->applicationOpenFile(junk));
    ASSERT_EQ(1u, alerts.alerts.size());
    EXPECT_EQ(0u, alerts.alerts[0].find("Could not open file " + junk + ".\n\n")) << alerts.alerts[0];
}

TEST_F(AppShellTest, PreferencesShowAndStoreTheSettings)
{
    UserPreferences* preferences = UserPreferences::GetPreferences();
    preferences->SetMaxNumSamples(8);
    preferences->SetNumSamples(4);
    PreferencesController* controller = PreferencesController::Instance();
    controller->showPreferences();
    controller->showPreferences();
    QStringList items;
    for (int i = 0; i < controller->multiSamplingPopup->count(); ++i)
        items << controller->multiSamplingPopup->itemText(i);
    EXPECT_EQ("1x 2x 4x 6x 8x", items.join(' ').toStdString());
    EXPECT_EQ("6x", controller->multiSamplingPopup->currentText().toStdString());
    EXPECT_EQ(8, controller->bookmarkAnimationSpeedSlider->value());
    controller->multiSamplingPopup->setCurrentIndex(1);
    controller->multiSamplingChanged();
    EXPECT_EQ(1, preferences->GetNumSamples());
    controller->bookmarkAnimationSpeedSlider->setValue(7);
    EXPECT_EQ(3.0f, preferences->GetBookmarkAnimationSpeed());
    controller->autoRotateButton->click();
    EXPECT_EQ(controller->autoRotateButton->isChecked(), preferences->GetAutoRotate());
    controller->window()->hide();

    struct Case
    {
        int index, stored;
    };
    for (const Case& c : {Case{0, 0}, Case{1, 1}, Case{2, 2}, Case{3, 4}, Case{4, 6}})
    {
        EXPECT_EQ(c.stored, PreferencesController::SamplesForSelection(c.index)) << c.index;
        EXPECT_EQ(c.index, PreferencesController::SelectionForSamples(c.stored)) << c.stored;
    }
}

TEST_F(AppShellTest, FeedAndHelpAreOnTheHostSetting)
{
    CorvaneAppDelegate* delegate = CorvaneAppDelegate::Instance();
    delegate->applicationWillFinishLaunching();
    Updater* updater = delegate->GetUpdater();
    EXPECT_EQ(DemoServer::Get().Url() + "/Corvane2/mac-appcast.xml", updater->GetFeedURL());
    EXPECT_EQ(604800, updater->GetUpdateCheckInterval());
    EXPECT_EQ(UserPreferences::GetPreferences()->GetAutoVersionCheck(), updater->GetAutomaticallyChecksForUpdates());
    ASSERT_TRUE(updater->CheckForUpdates());
    EXPECT_TRUE(RunEventsUntil([&] { return !updater->IsChecking(); }, 30000));
    const std::string log = DemoServer::Get().Log();
    const std::size_t feed = log.find("\"/Corvane2/mac-appcast.xml\"");
    ASSERT_NE(std::string::npos, feed) << log;
    EXPECT_NE(std::string::npos, log.find("\"user_agent\": \"Corvane/", feed));
    // The served feed is of this very build: nothing is offered.
    EXPECT_TRUE(alerts.confirmations.empty());

    delegate->showHelp();
    ASSERT_EQ(1u, browser.urls.size());
    EXPECT_EQ(DemoServer::Get().Url() + "/confluence/display/Corvane/Home", browser.urls[0]);
}

TEST(UpdaterTest, FeedsOfferOnlyNewerReadableVersions)
{
    const std::string head = "<?xml version=\"1.0\"?><rss xmlns:sparkle=\"http://example.org/s\"><channel>";
    struct Case
    {
        std::string feed;
        long version;
        const char* url;
    };
    const std::vector<Case> cases = {
        {head + "<item><title>Corvane 2.1</title><enclosure url=\"http://h/a\" sparkle:version=\"201\"/></item>"
                "<item><enclosure url=\"http://h/b\" sparkle:version=\"150\"/></item></channel></rss>",
         201, "http://h/a"},
        {head + "<item><enclosure url=\"http://h/a\" sparkle:version=\"abc\"/></item></channel></rss>", 0, ""},
        {head + "<item><enclosure url=\"http://h/a\"/></item></channel></rss>", 0, ""},
        {head + "<item><enclosure url=\"http://h/a\" sparkle:version=\"-5\"/></item></channel></rss>", 0, ""},
        {head + "<item><enclosure url=\"http://h/a\" sparkle:version=\"300\"/>", 0, ""}, // cut short
        {"\x01\x02 not xml at all", 0, ""},
        {"", 0, ""},
    };
    for (const Case& c : cases)
    {
        const Updater::FeedItem item = Updater::ParseFeed(c.feed);
        EXPECT_EQ(c.version, item.version) << c.feed;
        if (c.version > 0)
        {
            EXPECT_EQ(c.url, item.url);
        }
    }
}

TEST(UpdaterTest, ChecksAreDueWeeklyWhenAutomatic)
{
    MemoryDefaultsStore store;
    DefaultsStore* previous = &PlatformHooks::GetDefaultsStore();
    PlatformHooks::SetDefaultsStore(&store);
    Updater updater;
    updater.SetFeedURL("http://127.0.0.1:1/feed.xml");
    updater.SetUpdateCheckInterval(604800);
    const std::time_t now = 1700000000;
    struct Case
    {
        bool automatic;
        const char* last; // null: never checked
        bool due;
    };
    for (const Case& c : {Case{false, nullptr, false}, Case{true, nullptr, true}, Case{true, "1699999000", false},
                          Case{true, "1699000000", true}, Case{true, "soon", true}, Case{true, "1800000000", true}})
    {
        updater.SetAutomaticallyChecksForUpdates(c.automatic);
        store.SetValue(Updater::kLastCheckKey, c.last ? c.last : "");
        if (!c.last)
            store = MemoryDefaultsStore();
        EXPECT_EQ(c.due, updater.IsDue(now)) << (c.last ? c.last : "never") << " automatic " << c.automatic;
    }
    PlatformHooks::SetDefaultsStore(previous);
}

// Frames in logical pixels, on the available areas of one screen or two given in device pixels at a scale.
TEST(ScreenFitTest, WindowsKeepWithinTheAvailableAreaOfTheirScreen)
{
    struct Case
    {
        const char* what;
        QList<QRect> available;
        int scale;
        QRect frame, fitted;
    };
    const Case cases[] = {
        {"the default at scale 2", {{0, 0, 1600, 1000}}, 2, {0, 0, 1120, 700}, {0, 0, 800, 500}},
        {"the default on a laptop", {{0, 32, 1366, 736}}, 1, {0, 0, 1120, 700}, {0, 32, 1120, 700}},
        {"saved on a larger screen", {{0, 0, 1366, 768}}, 1, {300, 200, 1900, 1100}, {0, 0, 1366, 768}},
        {"cascaded off the corner", {{0, 0, 1600, 1000}}, 1, {1200, 700, 640, 500}, {960, 500, 640, 500}},
        {"on a second screen", {{1600, 0, 2560, 1440}}, 2, {1500, -40, 1120, 700}, {960, 0, 1120, 700}},
        {"one that fits", {{0, 0, 1600, 1000}}, 1, {40, 60, 1120, 700}, {40, 60, 1120, 700}},
        {"centre on no screen", {{0, 0, 800, 600}, {800, 0, 800, 500}}, 1, {750, 450, 500, 200}, {800, 300, 500, 200}},
        {"on no screen", {{0, 0, 800, 500}, {800, 0, 640, 512}}, 1, {1500, 100, 400, 300}, {1040, 100, 400, 300}},
    };
    for (const Case& c : cases)
    {
        QList<QRect> areas;
        for (const QRect& area : c.available)
            areas.append(QRect(area.topLeft() / c.scale, area.size() / c.scale));
        EXPECT_EQ(c.fitted, ScreenFit::Fitted(c.frame, areas)) << c.what;
    }
}

// A saved frame from the settings file that is damaged, cut short or out of any screen's reach is refused and
// the window keeps the frame it has.
TEST(ScreenFitTest, ADamagedSavedFrameLeavesTheWindowAsItIs)
{
    QWidget saver;
    saver.setGeometry(100, 100, 400, 300);
    saver.setWindowState(Qt::WindowMaximized);
    const QByteArray wide = SavedOnAScreenTwiceAsWide(saver);
    QByteArray far = wide, farFrame = saver.saveGeometry();
    qToBigEndian<qint32>(std::numeric_limits<qint32>::min(), far.data() + 24);      // the normal frame's left
    qToBigEndian<qint32>(std::numeric_limits<qint32>::max(), farFrame.data() + 16); // the frame's right
    const struct
    {
        const char* what;
        QByteArray saved;
    } cases[] = {{"empty", {}},
                 {"cut short", wide.left(30)},
                 {"no saved frame", QByteArray(64, 'x')},
                 {"a normal frame out of reach", far},
                 {"a frame out of reach", farFrame}};
    for (const auto& c : cases)
    {
        QWidget window;
        window.setGeometry(40, 50, 300, 200);
        EXPECT_FALSE(ScreenFit::RestoreGeometry(&window, c.saved)) << c.what;
        EXPECT_EQ(QRect(40, 50, 300, 200), window.geometry()) << c.what;
        EXPECT_FALSE(window.isMaximized()) << c.what;
    }
}

// Logical areas on a screen at its origin and ratio, in the X screen's device pixels (the menu map's).
TEST(ScreenFitTest, AreasInTheDevicePixelsOfTheWholeXScreen)
{
    const struct
    {
        const char* what;
        QPoint origin;
        double ratio;
        QRect area, device;
    } cases[] = {
        {"the first screen at scale 2", {0, 0}, 2, {10, 5, 30, 20}, {20, 10, 60, 40}},
        {"the second of two at scale 2", {1600, 0}, 2, {1629, 0, 30, 20}, {1658, 0, 60, 40}},
        {"one below at scale 1.5", {0, 1000}, 1.5, {100, 1010, 40, 20}, {150, 1015, 60, 30}},
        {"the second at scale 1", {1600, 0}, 1, {1629, 3, 30, 20}, {1629, 3, 30, 20}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.device, ScreenFit::DevicePixels(c.area, c.origin, c.ratio)) << c.what;
}

TEST(SingleInstanceTest, LaterLaunchesHandTheirArgumentsOver)
{
    EXPECT_FALSE(SingleInstance::SendToRunning({"corv://nobody"}));
    SingleInstance running;
    ASSERT_TRUE(running.Listen());
    QStringList received;
    QObject::connect(&running, &SingleInstance::ArgumentsReceived,
                     [&](const QStringList& arguments) { received = arguments; });
    bool sent = false;
    std::thread later([&] { sent = SingleInstance::SendToRunning({"corv://h/d?atlas=310", "relative/file.zip"}); });
    EXPECT_TRUE(RunEventsUntil([&] { return !received.isEmpty(); }, 10000));
    later.join();
    EXPECT_TRUE(sent);
    ASSERT_EQ(2, received.size());
    EXPECT_EQ("corv://h/d?atlas=310", received[0].toStdString());
    EXPECT_EQ(QDir::current().absoluteFilePath("relative/file.zip"), received[1]);

    // A message that claims more bytes than any request needs is dropped.
    received.clear();
    std::thread hostile([] {
        QLocalSocket socket;
        socket.connectToServer(SingleInstance::ServerName());
        if (!socket.waitForConnected(2000))
            return;
        QByteArray bytes;
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        stream << static_cast<quint32>(0xFFFFFFF0u);
        socket.write(bytes + QByteArray(64, 'x'));
        socket.waitForBytesWritten(2000);
        socket.waitForDisconnected(2000);
    });
    RunEventsFor(300);
    hostile.join();
    RunEventsFor(50);
    EXPECT_TRUE(received.isEmpty());

    // A launch beside the running program does not take its socket over, and one that reaches it while it is
    // busy for seconds waits for its answer rather than start a second program.
    SingleInstance beside;
    EXPECT_FALSE(beside.Listen());
    std::thread patient([&] { sent = SingleInstance::SendToRunning({"corv://busy"}); });
    std::this_thread::sleep_for(std::chrono::seconds(4)); // the running program's long piece of work
    EXPECT_TRUE(RunEventsUntil([&] { return !received.isEmpty(); }, 10000));
    patient.join();
    EXPECT_TRUE(sent);
}

TEST(DesktopEntryTest, RegistersTheUrlScheme)
{
    const std::string entry = std::string(CORVANE_SOURCE_DIR) + "/resources/corvane.desktop";
    if (std::system("command -v desktop-file-validate > /dev/null") != 0)
        GTEST_SKIP() << "desktop-file-validate is not installed";
    EXPECT_EQ(0, std::system(("desktop-file-validate '" + entry + "'").c_str()));
    const std::string text = ReadBytes(entry);
    EXPECT_NE(std::string::npos, text.find("MimeType=x-scheme-handler/corv;"));
    EXPECT_NE(std::string::npos, text.find("Exec=corvane %u"));
}

} // namespace
