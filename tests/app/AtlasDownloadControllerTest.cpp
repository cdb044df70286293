// The atlas download window as the user sees it, against the demo data server, under Xvfb.

#include "DemoServerFixture.h"
#include "app/AtlasDocumentHost.h"
#include "app/AtlasDownloadController.h"
#include "app/AtlasListModel.h"
#include "core/NetTransport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace
{

const int INSTALL_WAIT_MS = 120000;

class FakeDocumentHost : public AtlasDocumentHost
{
public:
    bool HasOpenDocuments() const override { return openDocuments > 0; }
    bool CloseAllDocuments() override
    {
        ++closeAllCalls;
        if (!refuseClose)
            openDocuments = 0;
        return openDocuments == 0;
    }
    void OpenUntitledDocument() override
    {
        ++openCalls;
        atlasesAtOpen = AtlasSet::GetAtlases()->GetNumAtlases();
    }
    void QuitApplication() override { ++quitCalls; }

    int openDocuments = 0;
    bool refuseClose = false;
    int closeAllCalls = 0;
    int openCalls = 0;
    int quitCalls = 0;
    int atlasesAtOpen = -1;
};

// Passes requests on to the program's transport, except those whose URL holds one of the held pieces:
// they get a response and then no data until they are aborted, or are refused outright.
class HoldingTransport : public NetTransport
{
public:
    HoldingTransport()
        : m_real(PlatformHooks::GetNetTransport())
    {
        PlatformHooks::SetNetTransport(this);
    }
    ~HoldingTransport() override { PlatformHooks::SetNetTransport(m_real); }

    std::unique_ptr<NetConnection> Open(const NetRequest& request, NetConnectionClient* client) override
    {
        if (!refused.empty() && request.url.find(refused) != std::string::npos)
            throw std::runtime_error("refused");
        if (held.empty() || request.url.find(held) == std::string::npos)
            return m_real->Open(request, client);
        return std::make_unique<HeldConnection>(client);
    }

    std::string held;
    std::string refused;

private:
    class HeldConnection : public NetConnection
    {
    public:
        explicit HeldConnection(NetConnectionClient* client)
        {
            m_respond.setSingleShot(true);
            QObject::connect(&m_respond, &QTimer::timeout,
                             [client] { client->ConnectionResponse(200, "application/zip", 0); });
            m_respond.start(0);
        }

    private:
        QTimer m_respond;
    };

    NetTransport* m_real;
};

std::string Format(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The size of a served package as another HTTP client sees it.
unsigned long ServedPackageSize(const std::string& path)
{
    const std::string command =
        std::string(CORVANE_PYTHON) +
        " -c \"import sys,urllib.request;print(len(urllib.request.urlopen(sys.argv[1]).read()))\" '" +
        DemoServer::Get().Url() + path + "'";
    FILE* pipe = popen(command.c_str(), "r");
    unsigned long size = 0;
    if (!pipe || std::fscanf(pipe, "%lu", &size) != 1)
        size = 0;
    if (pipe)
        pclose(pipe);
    return size;
}

class AtlasDownloadWindowTest : public ::testing::Test
{
public:
    AtlasDownloadWindowTest() { AtlasDownloadController::SetDocumentHost(&host); }
    ~AtlasDownloadWindowTest() override
    {
        delete AtlasDownloadController::Existing();
        RunEventsFor(10);
        AtlasDownloadController::SetDocumentHost(nullptr);
    }

    void SetUp() override
    {
        if (!HaveGenerator())
            GTEST_SKIP() << "the atlas generator is not part of this build";
        root = std::make_unique<ServerAtlasRoot>(prefix);
    }

    template <class Widget>
    Widget* Part(const char* name)
    {
        return controller->GetWindow()->findChild<Widget*>(QString::fromLatin1(name));
    }
    QString Status() { return Part<QLabel>("statusMessage")->text(); }
    AtlasListModel* Model() { return static_cast<AtlasListModel*>(Part<QTableView>("atlasListView")->model()); }
    std::vector<bool> Ticks()
    {
        std::vector<bool> ticks;
        for (int row = 0; row < Model()->rowCount(); ++row)
            ticks.push_back(Model()->IsTicked(row));
        return ticks;
    }
    QString HostStatus(const char* text) const
    {
        return QString::fromLatin1(text) + QString::fromStdString(DemoServer::Get().Url() + prefix);
    }

    bool WaitForStatus(const QString& text, int ms = INSTALL_WAIT_MS)
    {
        return RunEventsUntil([&] { return AtlasDownloadController::Existing() == controller && Status() == text; },
                              ms);
    }

    // Opens the window from the menu and waits for the catalogue.
    void OpenWindow()
    {
        controller = AtlasDownloadController::Controller();
        EXPECT_EQ("Looking for atlases", Status());
        controller->Show();
        ASSERT_TRUE(WaitForStatus(HostStatus("Select atlases to install from "), 60000)) << Status().toStdString();
    }

    // Runs the events until done, writing down every status shown on the way.
    bool RunRecordingStatuses(const std::function<bool()>& done, std::set<QString>& seen)
    {
        return RunEventsUntil(
            [&] {
                if (AtlasDownloadController::Existing() == controller && controller)
                    seen.insert(Status());
                return done();
            },
            INSTALL_WAIT_MS);
    }

    // The window as it is drawn on the screen. The window paints itself: tests running side by side share
    // the display, so a copy of the screen could show another test's window on top.
    QImage Capture()
    {
        QDialog* window = controller->GetWindow();
        EXPECT_TRUE(
            RunEventsUntil([&] { return window->windowHandle() && window->windowHandle()->isExposed(); }, 10000));
        RunEventsFor(50);
        return window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    QImage CheckCell(const QImage& image, int row)
    {
        QTableView* view = Part<QTableView>("atlasListView");
        const QRect cell = view->visualRect(Model()->index(row, AtlasListModel::CHECK_COLUMN));
        const QPoint at = view->viewport()->mapTo(controller->GetWindow(), cell.topLeft());
        return image.copy(QRect(at, cell.size()));
    }

    // Alike pixel for pixel; a failure names the first column that differs rather than dumping both images.
    static ::testing::AssertionResult SamePixels(const QImage& expected, const QImage& actual)
    {
        if (expected.size() != actual.size())
            return ::testing::AssertionFailure() << "sizes differ: " << expected.width() << "x" << expected.height()
                                                 << " and " << actual.width() << "x" << actual.height();
        for (int x = 0; x < expected.width(); ++x)
            for (int y = 0; y < expected.height(); ++y)
                if (expected.pixel(x, y) != actual.pixel(x, y))
                    return ::testing::AssertionFailure() << "first difference in column " << x << ", row " << y << ": "
                                                         << QColor(expected.pixel(x, y)).name().toStdString() << " and "
                                                         << QColor(actual.pixel(x, y)).name().toStdString();
        return ::testing::AssertionSuccess();
    }

    // Pixels dark enough to belong to a check mark.
    static int DarkPixels(const QImage& image)
    {
        int dark = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                dark += qGray(image.pixel(x, y)) < 60 ? 1 : 0;
        return dark;
    }

    // The share of the bar's middle line drawn in the highlight colour rather than the groove's.
    double BarFill(const QImage& image)
    {
        QProgressBar* bar = Part<QProgressBar>("progressBar");
        const QRect rect(bar->mapTo(controller->GetWindow(), QPoint(0, 0)), bar->size());
        const QColor highlight = bar->palette().color(QPalette::Highlight);
        const QColor groove = QColor::fromRgb(image.pixel(rect.right() - 4, rect.center().y()));
        const auto distance = [](const QColor& a, const QColor& b) {
            return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
        };
        int filled = 0;
        int total = 0;
        for (int x = rect.left() + 3; x <= rect.right() - 3; ++x, ++total)
        {
            const QColor pixel = QColor::fromRgb(image.pixel(x, rect.center().y()));
            filled += distance(pixel, highlight) < distance(pixel, groove) ? 1 : 0;
        }
        return total ? double(filled) / total : 0.0;
    }

    void Click(int row, int column = AtlasListModel::NAME_COLUMN)
    {
        QTableView* view = Part<QTableView>("atlasListView");
        const QPointF at = view->visualRect(Model()->index(row, column)).center();
        const QPointF global = view->viewport()->mapToGlobal(at);
        QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &press);
        QApplication::sendEvent(view->viewport(), &release);
    }

    // Answers the close-documents question with the named button once it shows.
    void AnswerQuestion(const QString& button)
    {
        QTimer::singleShot(50, [button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            for (QAbstractButton* candidate : box->buttons())
                if (candidate->text() == button)
                    candidate->click();
        });
    }

    std::string prefix;
    FakeDocumentHost host;
    std::unique_ptr<ServerAtlasRoot> root;
    AtlasDownloadController* controller = nullptr;
};

TEST_F(AtlasDownloadWindowTest, ChoosingAtlases)
{
    OpenWindow();
    ASSERT_EQ(3, Model()->rowCount());
    const double megabytes = ServedPackageSize("/Corvane2/packages/310-3.zip") / 1048576.0;
    EXPECT_EQ("Ostrel Adult Mouse (" + Format("%.04g", megabytes) + " MB) - 2020-01-01 ",
              Model()->data(Model()->index(0, AtlasListModel::NAME_COLUMN)).toString().toStdString());
    EXPECT_EQ((std::vector<bool>{true, true, true}), Ticks());
    EXPECT_EQ(Qt::Checked, Model()->data(Model()->index(0, AtlasListModel::CHECK_COLUMN), Qt::CheckStateRole));
    EXPECT_FALSE(Model()->data(Model()->index(0, AtlasListModel::CHECK_COLUMN)).isValid());
    EXPECT_TRUE(Part<QPushButton>("installButton")->isEnabled());
    EXPECT_FALSE(Part<QProgressBar>("progressSpinner")->isVisible());
    EXPECT_TRUE(root->Store().HasValue("LastVersionCheck"));

    const QImage ticked = Capture();
    EXPECT_TRUE(SamePixels(CheckCell(ticked, 0), CheckCell(ticked, 1)));
    Click(1);
    EXPECT_EQ((std::vector<bool>{true, false, true}), Ticks());
    const QImage unticked = Capture();
    EXPECT_LT(8, DarkPixels(CheckCell(unticked, 0)));
    EXPECT_EQ(0, DarkPixels(CheckCell(unticked, 1)));
    EXPECT_TRUE(SamePixels(CheckCell(unticked, 0), CheckCell(unticked, 2)));
    EXPECT_TRUE(SamePixels(CheckCell(ticked, 1), CheckCell(unticked, 0)));

    controller->ToggleAtlasVisible(0);
    controller->ToggleAtlasVisible(-1);
    controller->ToggleAtlasVisible(3);
    EXPECT_TRUE(Part<QPushButton>("installButton")->isEnabled());
    controller->ToggleAtlasVisible(2);
    EXPECT_FALSE(Part<QPushButton>("installButton")->isEnabled());
    controller->ToggleAtlasVisible(1);
    EXPECT_TRUE(Part<QPushButton>("installButton")->isEnabled());
    // Clicked off and on by its check box, a row's check cell shows the box alone, as before any click; the
    // current cell, which the keys move, stays in the name column.
    Click(1, AtlasListModel::CHECK_COLUMN);
    Click(1, AtlasListModel::CHECK_COLUMN);
    EXPECT_EQ((std::vector<bool>{false, true, false}), Ticks());
    EXPECT_EQ(CheckCell(ticked, 1), CheckCell(Capture(), 1));
    EXPECT_EQ(Model()->index(1, AtlasListModel::NAME_COLUMN), Part<QTableView>("atlasListView")->currentIndex());
}

TEST_F(AtlasDownloadWindowTest, LaunchCheckShowsOnlyUpdates)
{
    root->Install(310, "Mouse");
    root->Install(350, "Developing", true);
    root->Install(378, "Connectivity");
    controller = AtlasDownloadController::Controller();
    EXPECT_FALSE(controller->GetWindow()->isVisible());
    ASSERT_TRUE(RunEventsUntil([&] { return controller->GetWindow()->isVisible(); }, 60000));
    EXPECT_EQ(HostStatus("Atlas updates available from "), Status());
    EXPECT_EQ((std::vector<bool>{false, true, false}), Ticks());
    EXPECT_TRUE(Model()->data(Model()->index(0, 0)).toString().endsWith(" - 2020-01-01  (Already installed)"));

    // Everything installed: nothing shows and the controller goes.
    delete controller;
    root->Install(350, "Developing Now");
    std::filesystem::remove_all(root->Folder("Developing"));
    AtlasSet::GetAtlases()->Reload();
    controller = AtlasDownloadController::Controller();
    ASSERT_TRUE(RunEventsUntil([] { return AtlasDownloadController::Existing() == nullptr; }, 60000));
    RunEventsFor(20);
    for (QWidget* widget : QApplication::topLevelWidgets())
        EXPECT_FALSE(widget->isVisible() && widget->objectName() == "AtlasDownloader");
}

TEST_F(AtlasDownloadWindowTest, NewUserInstallsTheDemoAtlasAndGetsADocument)
{
    OpenWindow();
    controller->ToggleAtlasVisible(1);
    controller->ToggleAtlasVisible(2);
    std::set<QString> seen;
    Part<QPushButton>("installButton")->click();
    EXPECT_TRUE(AtlasSet::GetAtlases()->IsLoading());
    ASSERT_TRUE(RunRecordingStatuses([&] { return host.openCalls == 1; }, seen)) << Status().toStdString();
    EXPECT_TRUE(seen.count("Downloading Ostrel Adult Mouse"));
    EXPECT_TRUE(seen.count("Installing Ostrel Adult Mouse"));
    EXPECT_EQ(1, host.atlasesAtOpen);
    EXPECT_EQ(0, host.closeAllCalls);
    RunEventsFor(20);
    EXPECT_EQ(nullptr, AtlasDownloadController::Existing());
    controller = nullptr;
    EXPECT_FALSE(AtlasSet::GetAtlases()->IsLoading());
    EXPECT_TRUE(std::filesystem::exists(root->Folder("Ostrel Adult Mouse") + "/Info.xml"));
}

TEST_F(AtlasDownloadWindowTest, OpenDocumentsAreClosedFirstAndTheChooserGetsTwoAtlases)
{
    root->Install(378, "Connectivity");
    host.openDocuments = 2;
    OpenWindow();
    EXPECT_EQ((std::vector<bool>{true, true, false}), Ticks());
    controller->ToggleAtlasVisible(1);

    AnswerQuestion("Cancel");
    Part<QPushButton>("installButton")->click();
    EXPECT_EQ(0, host.closeAllCalls);
    EXPECT_EQ(HostStatus("Select atlases to install from "), Status());
    EXPECT_FALSE(AtlasSet::GetAtlases()->IsLoading());

    // Closed for an install that is then cancelled, the documents are not brought back; but closing the window
    // then opens one, as at start-up, rather than leave the program with no window.
    HoldingTransport transport;
    transport.held = "/packages/310-";
    AnswerQuestion("Close All");
    Part<QPushButton>("installButton")->click();
    EXPECT_EQ(1, host.closeAllCalls);
    ASSERT_TRUE(WaitForStatus("Downloading Ostrel Adult Mouse", 60000)) << Status().toStdString();
    Part<QPushButton>("closeButton")->click();
    Part<QPushButton>("closeButton")->click();
    EXPECT_EQ(nullptr, AtlasDownloadController::Existing());
    EXPECT_EQ(1, host.openCalls);
    EXPECT_EQ(0, host.quitCalls);

    transport.held.clear();
    host.openDocuments = 2;
    OpenWindow();
    controller->ToggleAtlasVisible(1);
    AnswerQuestion("Close All");
    Part<QPushButton>("installButton")->click();
    EXPECT_EQ(2, host.closeAllCalls);
    ASSERT_TRUE(RunEventsUntil([&] { return host.openCalls == 2; }, INSTALL_WAIT_MS)) << Status().toStdString();
    EXPECT_EQ(2, host.atlasesAtOpen);
    controller = nullptr;
}

TEST_F(AtlasDownloadWindowTest, CancelDuringTheSecondOfThreeDownloads)
{
    HoldingTransport transport;
    transport.held = "/packages/350-";
    OpenWindow();
    Capture();
    QDialog* window = controller->GetWindow();
    const int fullHeight = window->height();
    const int top = window->geometry().top();
    Part<QPushButton>("installButton")->click();
    ASSERT_TRUE(WaitForStatus("Downloading Ostrel Developing Mouse", 60000)) << Status().toStdString();
    ASSERT_TRUE(RunEventsUntil([&] { return Part<QProgressBar>("progressBar")->value() == 16; }, 5000));

    EXPECT_FALSE(Part<QWidget>("atlasListContainer")->isVisible());
    EXPECT_TRUE(Part<QProgressBar>("progressBar")->isVisible());
    EXPECT_EQ("Cancel", Part<QPushButton>("closeButton")->text());
    EXPECT_FALSE(Part<QPushButton>("installButton")->isEnabled());
    EXPECT_EQ(fullHeight - (Part<QWidget>("atlasListContainer")->height() -
                            Part<QProgressBar>("progressBar")->sizeHint().height()),
              window->height());
    EXPECT_EQ(top, window->geometry().top());
    EXPECT_TRUE(AtlasSet::GetAtlases()->IsLoading());
    EXPECT_NEAR(1.0 / 6.0, BarFill(Capture()), 0.05);

    Part<QPushButton>("closeButton")->click();
    EXPECT_EQ("Atlas installation cancelled. Click Install to retry.", Status());
    EXPECT_TRUE(Part<QWidget>("atlasListContainer")->isVisible());
    EXPECT_FALSE(Part<QProgressBar>("progressBar")->isVisible());
    EXPECT_EQ("Close", Part<QPushButton>("closeButton")->text());
    EXPECT_TRUE(Part<QPushButton>("installButton")->isEnabled());
    EXPECT_EQ(fullHeight, window->height());
    EXPECT_FALSE(AtlasSet::GetAtlases()->IsLoading());
    EXPECT_FALSE(std::filesystem::exists(root->Base() + "/Download/Ostrel Developing Mouse 4.zip"));
    EXPECT_EQ((std::vector<bool>{true, true, true}), Ticks());
    EXPECT_EQ(0, AtlasSet::GetAtlases()->GetNumAtlases());
    EXPECT_EQ(0, host.openCalls);

    // Quitting in a download lets go of the package as the cancel did, though the window stays.
    Part<QPushButton>("installButton")->click();
    ASSERT_TRUE(WaitForStatus("Downloading Ostrel Developing Mouse", 60000)) << Status().toStdString();
    ASSERT_TRUE(std::filesystem::exists(root->Base() + "/Download/Ostrel Developing Mouse 4.zip"));
    QTimer::singleShot(0, [] { QApplication::exit(0); });
    QApplication::exec();
    EXPECT_FALSE(std::filesystem::exists(root->Base() + "/Download/Ostrel Developing Mouse 4.zip"));
}

// The unpacking notices a cancel only every 26 entries: the install either stops cleanly or completes.
TEST_F(AtlasDownloadWindowTest, InterruptingTheInstall)
{
    for (const bool quitting : {false, true})
    {
        OpenWindow();
        controller->ToggleAtlasVisible(1);
        controller->ToggleAtlasVisible(2);
        Part<QPushButton>("installButton")->click();
        ASSERT_TRUE(WaitForStatus("Installing Ostrel Adult Mouse")) << Status().toStdString();
        if (quitting)
        {
            // Quitting destroys the controller: it must cancel and wait for the worker.
            delete controller;
            controller = nullptr;
        }
        else
        {
            Part<QPushButton>("closeButton")->click();
            ASSERT_TRUE(RunEventsUntil(
                [&] {
                    return host.openCalls == 1 || Status() == "Atlas installation cancelled. Click Install to retry.";
                },
                INSTALL_WAIT_MS));
            EXPECT_FALSE(AtlasSet::GetAtlases()->IsLoading());
        }
        AtlasSet::GetAtlases()->Reload();
        const bool installed = std::filesystem::exists(root->Folder("Ostrel Adult Mouse"));
        EXPECT_EQ(installed ? 1 : 0, AtlasSet::GetAtlases()->GetNumAtlases()) << quitting;
        EXPECT_FALSE(std::filesystem::exists(root->Base() + "/Download/Ostrel Adult Mouse")) << quitting;
        if (!quitting)
        {
            EXPECT_EQ(installed ? 1 : 0, host.openCalls);
        }
        delete AtlasDownloadController::Existing();
        RunEventsFor(10);
        std::filesystem::remove_all(root->Folder("Ostrel Adult Mouse"));
        AtlasSet::GetAtlases()->Reload();
        host.openCalls = 0;
    }
}

TEST_F(AtlasDownloadWindowTest, FailuresReturnToTheListWithARetryStatus)
{
    struct Case
    {
        const char* what;
        std::function<void(AtlasDownloadWindowTest&, HoldingTransport&)> arrange;
        const char* status;
    };
    const std::vector<Case> cases = {
        {"a folder in the way of the new atlas",
         [](AtlasDownloadWindowTest& t, HoldingTransport&) {
             WriteBytes(t.root->Folder("Ostrel Adult Mouse") + "/notes.txt", "mine");
         },
         "A file system error occurred while trying to install an atlas. Click Install to retry."},
        {"no connection for the package",
         [](AtlasDownloadWindowTest&, HoldingTransport& transport) { transport.refused = "/packages/"; },
         "Could not open connection. Click Install to retry."},
    };
    for (const Case& c : cases)
    {
        HoldingTransport transport;
        c.arrange(*this, transport);
        OpenWindow();
        controller->ToggleAtlasVisible(1);
        controller->ToggleAtlasVisible(2);
        Part<QPushButton>("installButton")->click();
        EXPECT_TRUE(WaitForStatus(c.status)) << c.what << ": " << Status().toStdString();
        EXPECT_FALSE(AtlasSet::GetAtlases()->IsLoading()) << c.what;
        EXPECT_TRUE(Part<QPushButton>("installButton")->isEnabled()) << c.what;
        EXPECT_EQ(0, host.openCalls) << c.what;
        delete controller;
    }
    EXPECT_EQ("mine", ReadBytes(root->Folder("Ostrel Adult Mouse") + "/notes.txt"));
}

TEST_F(AtlasDownloadWindowTest, ClosingWithoutARun)
{
    OpenWindow();
    controller->GetWindow()->close();
    EXPECT_EQ(1, host.quitCalls);
    EXPECT_TRUE(controller->GetWindow()->isVisible());
    Part<QPushButton>("closeButton")->click();
    EXPECT_EQ(2, host.quitCalls);

    root->Install(310, "Mouse");
    Part<QPushButton>("closeButton")->click();
    EXPECT_EQ(2, host.quitCalls);
    EXPECT_EQ(nullptr, AtlasDownloadController::Existing());
    controller = nullptr;
    RunEventsFor(20);
}

class CatalogueErrorWindowTest : public AtlasDownloadWindowTest
{
protected:
    CatalogueErrorWindowTest() { prefix = "/fault-404"; }
};

TEST_F(CatalogueErrorWindowTest, ShowsTheTransportsMessage)
{
    controller = AtlasDownloadController::Controller();
    controller->Show();
    ASSERT_TRUE(WaitForStatus("Server returned error 404", 60000)) << Status().toStdString();
    EXPECT_FALSE(Part<QProgressBar>("progressSpinner")->isVisible());
    EXPECT_FALSE(Part<QPushButton>("installButton")->isEnabled());
    EXPECT_EQ(0, Model()->rowCount());
}

} // namespace
