#include "core/Alerts.h"
#include "core/NetFile.h"
#include "core/OSUtils.h"
#include "core/PlatformHooks.h"
#include "core/ResourcePath.h"
#include "core/UserPreferences.h"
#include "platform/PlatformServices.h"
#include "platform/QtAlertPresenter.h"
#include "platform/QtBrowserLauncher.h"
#include "platform/QtDefaultsStore.h"
#include "platform/QtTerminationSignals.h"
#include "platform/WindowActivationTracker.h"

#include "EventLoopSupport.h"
#include "TestSupport.h"
#include "UrlCatcher.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDrag>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <csignal>
#include <string>
#include <vector>

namespace
{

QMessageBox* FindMessageBox()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    return nullptr;
}

// The alerts and confirmations of the test go through the Qt presenter, as the program's do.
class QtAlertPresenterTest : public ::testing::Test
{
protected:
    QtAlertPresenterTest() { PlatformHooks::SetAlertPresenter(&presenter); }
    ~QtAlertPresenterTest() override { PlatformHooks::SetAlertPresenter(nullptr); }

    QtAlertPresenter presenter;
};
using QtBrowserLauncherTest = QtAlertPresenterTest;
using QtTerminationSignalsTest = QtAlertPresenterTest;

TEST(QtDefaultsStore, SettingsSurviveARoundTripThroughTheFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("settings.ini");
    {
        QtDefaultsStore store(path);
        UserPreferences prefs(&store);
        prefs.SetAutoRotate(false);
        prefs.SetNumSamples(4);
        prefs.SetBookmarkAnimationSpeed(3.25f);
        prefs.SetAutoVersionCheck(false);
        prefs.SaveSettings(1, 0, 70, 20, 2, 1, 0);
        prefs.SaveViewSettings(2, true, false);
        prefs.UpdateVersionQueryDate();
        prefs.UpdateLastVersionRun();
        EXPECT_TRUE(store.LastSyncSucceeded());
        EXPECT_TRUE(QFile::exists(path));
    }
    QtDefaultsStore reopened(path);
    UserPreferences prefs(&reopened);
    EXPECT_FALSE(prefs.GetAutoRotate());
    EXPECT_EQ(4, prefs.GetNumSamples());
    EXPECT_FLOAT_EQ(3.25f, prefs.GetBookmarkAnimationSpeed());
    EXPECT_FALSE(prefs.GetAutoVersionCheck());
    EXPECT_EQ(CORVANE_BUILD_NUMBER, prefs.GetLastVersionRun());
    int compass, tool, image, annotation, mesh, colorMode, thresholds;
    prefs.LoadSettings(compass, tool, image, annotation, mesh, colorMode, thresholds);
    EXPECT_EQ((std::vector<int>{1, 0, 70, 20, 2, 1, 0}),
              (std::vector<int>{compass, tool, image, annotation, mesh, colorMode, thresholds}));
    int mode;
    bool expanded, imageControls;
    prefs.LoadViewSettings(mode, expanded, imageControls);
    EXPECT_EQ(2, mode);
    EXPECT_TRUE(expanded);
    EXPECT_FALSE(imageControls);
    // Re-enabling checks shows the stored date was read back: a check just made is not due.
    prefs.SetAutoVersionCheck(true);
    EXPECT_FALSE(prefs.ShouldQueryVersion());
    EXPECT_FALSE(reopened.HasValue("OntologyAlphabetical"));
}

TEST(QtDefaultsStore, ReadsAHandWrittenFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("hand.ini");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[General]\nMultisample=-4\nBookmarkAnimationSpeed=25\nVerticalSync=NO\n"
                   "Host=http://example.org:8080\nUserAtlasPath=/srv/atlases\nOntologyAlphabetical=YES\n"
                   "LastVersionCheck=garbage\n");
    }
    QtDefaultsStore store(path);
    UserPreferences prefs(&store);
    EXPECT_EQ(0, prefs.GetNumSamples());
    EXPECT_FLOAT_EQ(10.0f, prefs.GetBookmarkAnimationSpeed());
    EXPECT_FALSE(prefs.GetVSync());
    EXPECT_TRUE(prefs.GetAutoRotate());
    EXPECT_EQ("http://example.org:8080", prefs.GetHostName());
    EXPECT_EQ("http://example.org:8080/Corvane2/atlases.xml", prefs.GetAtlasListURL());
    EXPECT_EQ("/srv/atlases", prefs.GetUserAtlasPath());
    EXPECT_TRUE(prefs.ShouldQueryVersion());
    int mode;
    bool expanded, imageControls;
    prefs.LoadViewSettings(mode, expanded, imageControls);
    EXPECT_EQ(0, mode);
}

TEST(QtDefaultsStore, TextValuesKeepEveryCharacter)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("text.ini");
    const std::string atlasPath = "/srv/at lases,v2/@home/\xC3\xA9t\xC3\xA9;#=\"q\"";
    {
        QtDefaultsStore store(path);
        store.SetValue("UserAtlasPath", atlasPath);
        store.Synchronize();
    }
    {
        QtDefaultsStore store(path);
        EXPECT_EQ(atlasPath, store.GetValue("UserAtlasPath"));
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[General]\nUserAtlasPath=/srv/a,b\n");
    file.close();
    QtDefaultsStore handEdited(path);
    EXPECT_EQ("/srv/a,b", handEdited.GetValue("UserAtlasPath"));
}

// The variable moves the program's settings file alone; unset or empty, the user's file is used.
TEST(QtDefaultsStore, SettingsFileVariableNamesTheFile)
{
    const QString user = QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath("Corvane/Corvane.ini");
    const QString own = QDir::temp().filePath("corvane-demo/Corvane/Corvane.ini");
    const ScopeExit unset([] { qunsetenv(QtDefaultsStore::kSettingsFileVariable); });
    const struct
    {
        bool set;
        QString value;
        QString expected;
    } cases[] = {{false, QString(), user}, {true, QString(), user}, {true, own, own}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.set ? c.value.toStdString() : "unset");
        if (c.set)
            qputenv(QtDefaultsStore::kSettingsFileVariable, c.value.toUtf8());
        else
            qunsetenv(QtDefaultsStore::kSettingsFileVariable);
        QtDefaultsStore store;
        EXPECT_EQ(c.expected.toStdString(), store.GetFileName().toStdString());
    }
}

TEST(PlatformServices, InstallsTheQtServicesAndUninstallsThem)
{
    {
        PlatformServices services;
        EXPECT_EQ(&services.GetDefaultsStore(), &PlatformHooks::GetDefaultsStore());
        EXPECT_NE(nullptr, PlatformHooks::GetNetTransport());
        const QString expected = QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath("Corvane/Corvane.ini");
        EXPECT_EQ(expected, services.GetDefaultsStore().GetFileName());

        UserPreferences::ResetPreferences();
        UserPreferences::GetPreferences()->SetFasterDrawing(true);
        UserPreferences::GetPreferences()->UpdateLastVersionRun();
        EXPECT_TRUE(QFile::exists(expected));
    }
    EXPECT_EQ(nullptr, PlatformHooks::GetNetTransport());
    // The process instance now reads the fallback store, which knows nothing of the file.
    EXPECT_FALSE(PlatformHooks::GetDefaultsStore().HasValue("FasterLowerQualityExpressorDrawing"));
    {
        PlatformServices again;
        UserPreferences::ResetPreferences();
        EXPECT_TRUE(UserPreferences::GetPreferences()->GetFasterDrawing());
    }
    UserPreferences::ResetPreferences();
}

TEST(ResourcePath, UserDataFolderAgreesWithQt)
{
    EXPECT_EQ(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString(),
              ResourcePath::GetUserDataLocation());
}

// Web pages reach the desktop escaped; no other address is handed on, whatever the desktop would open.
TEST(QtBrowserLauncher, HandsOnlyWebPagesToTheDesktopEscaped)
{
    UrlCatcher catcher;
    const char* const schemes[] = {"file", "corv", "ftp", "javascript", "http", "https"};
    for (const char* scheme : schemes)
        QDesktopServices::setUrlHandler(scheme, &catcher, "Catch");
    QtBrowserLauncher launcher;
    PlatformHooks::SetBrowserLauncher(&launcher);
    const ScopeExit restore([&] {
        PlatformHooks::SetBrowserLauncher(nullptr);
        for (const char* scheme : schemes)
            QDesktopServices::unsetUrlHandler(scheme);
    });
    for (const char* refused : {"file:///home/user/Downloads/run.desktop", "corv://fetch?datasets=1",
                                "ftp://127.0.0.1/x", "javascript:alert(1)", "/etc/passwd"})
        EXPECT_FALSE(OSUtils::OpenBrowser(refused)) << refused;
    EXPECT_TRUE(OSUtils::OpenBrowser("http://127.0.0.1:8470/search?term=sonic hedgehog&x=%2F&g=g\xC3\xA8ne"));
    EXPECT_TRUE(OSUtils::OpenBrowser("HTTPS://127.0.0.1/help"));
    EXPECT_EQ(
        (QStringList{"http://127.0.0.1:8470/search?term=sonic%20hedgehog&x=%2F&g=g%C3%A8ne", "https://127.0.0.1/help"}),
        catcher.urls);
}

TEST_F(QtBrowserLauncherTest, APageTheDesktopCannotOpenIsOfferedForCopying)
{
    UrlCatcher catcher;
    // A handler without that slot: the desktop answers that it could not open the page.
    QDesktopServices::setUrlHandler("http", &catcher, "NoSuchSlot");
    QtBrowserLauncher launcher;
    PlatformHooks::SetBrowserLauncher(&launcher);
    const ScopeExit restore([] {
        PlatformHooks::SetBrowserLauncher(nullptr);
        QDesktopServices::unsetUrlHandler("http");
    });
    {
        // The stand-in desktop's own complaint, which a real desktop that fails does not print.
        const QtMessageRecorder desktop;
        EXPECT_FALSE(OSUtils::OpenBrowser("http://127.0.0.1:8470/search?term=sonic hedgehog"));
        EXPECT_EQ(1u, desktop.Containing("NoSuchSlot").size());
    }
    ASSERT_TRUE(RunEventsUntil([] { return FindMessageBox() != nullptr; }, 5000));
    QMessageBox* box = FindMessageBox();
    EXPECT_EQ(OSUtils::BrowserFailureMessage("http://127.0.0.1:8470/search?term=sonic%20hedgehog"),
              box->text().toStdString());
    EXPECT_TRUE(box->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
    EXPECT_TRUE(catcher.urls.isEmpty());
    box->close();
    RunEventsUntil([] { return FindMessageBox() == nullptr; }, 5000);
}

TEST_F(QtAlertPresenterTest, AlertReturnsAtOnceAndShowsTheTextLiterally)
{
    const std::string message = "Failed at 100%d <b>%1%</b>";
    ShowAlertBox(message);
    PlatformHooks::SetAlertPresenter(nullptr);
    ASSERT_TRUE(RunEventsUntil([] { return FindMessageBox() != nullptr; }, 5000));
    QMessageBox* box = FindMessageBox();
    EXPECT_EQ(message, box->text().toStdString());
    EXPECT_EQ(Qt::PlainText, box->textFormat());
    // Paths and addresses in alerts can be copied.
    EXPECT_TRUE(box->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
    EXPECT_TRUE(box->windowTitle().isEmpty() || box->windowTitle() == QApplication::applicationName());
    box->close();
    RunEventsUntil([] { return FindMessageBox() == nullptr; }, 5000);
}

// Answers the next confirmation panel from inside its modal loop.
void AnswerNextConfirmation(const std::function<void(QMessageBox*)>& answer, std::string* defaultButtonText)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, answer, defaultButtonText] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        EXPECT_EQ(Qt::ApplicationModal, box->windowModality());
        EXPECT_EQ(Qt::PlainText, box->textFormat());
        *defaultButtonText = box->defaultButton() ? box->defaultButton()->text().toStdString() : "";
        answer(box);
    });
    poll->start(5);
}

TEST_F(QtAlertPresenterTest, ConfirmationBlocksAndDefaultsToNo)
{

    std::string defaultButton;
    AnswerNextConfirmation(
        [](QMessageBox* box) {
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(box, &enter);
        },
        &defaultButton);
    EXPECT_FALSE(ShowConfirmationBox("Download 12 data sets?"));
    EXPECT_EQ("No", defaultButton);

    std::string texts;
    AnswerNextConfirmation(
        [&texts](QMessageBox* box) {
            texts = box->text().toStdString();
            for (QAbstractButton* button : box->buttons())
                if (button->text() == "Yes")
                    button->click();
        },
        &defaultButton);
    EXPECT_TRUE(ShowConfirmationBox("Replace %1% <i>now</i>?"));
    EXPECT_EQ("Replace %1% <i>now</i>?", texts);
}

TEST_F(QtAlertPresenterTest, AlertRaisedWhileAConfirmationWaitsOutlivesIt)
{
    auto* window = new QWidget;
    window->show();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(RunEventsUntil([window] { return QApplication::activeWindow() == window; }, 5000));

    // A transfer fails while the user is being asked something: its alert must still be there after the
    // answer has closed the question.
    const std::string failure = "Download failed.";
    bool askedOnTop = false;
    std::string defaultButton;
    AnswerNextConfirmation(
        [&](QMessageBox* question) {
            QApplication::setActiveWindow(question);
            askedOnTop = QApplication::activeWindow() == question;
            ShowAlertBox(failure);
            for (QAbstractButton* button : question->buttons())
                if (button->text() == "No")
                    button->click();
        },
        &defaultButton);
    EXPECT_FALSE(ShowConfirmationBox("Download 12 data sets?"));
    EXPECT_TRUE(askedOnTop);
    const auto alertShown = [&failure] {
        QMessageBox* box = FindMessageBox();
        return box && box->text().toStdString() == failure;
    };
    EXPECT_TRUE(RunEventsUntil(alertShown, 5000));
    if (QMessageBox* alert = FindMessageBox())
        alert->close();
    delete window;
    RunEventsUntil([] { return FindMessageBox() == nullptr; }, 5000);
}

// Whatever was active when it came, an alert and a confirmation are transient for the document window, so
// that no window manager stacks the window over them, nor leaves them on another window: one row per way in.
TEST_F(QtAlertPresenterTest, PanelsBelongToTheDocumentWindow)
{
    const WindowActivationTracker tracker;
    QWidget document, otherDocument, downloads;
    WindowActivationTracker::MarkDocumentWindow(&document);
    WindowActivationTracker::MarkDocumentWindow(&otherDocument);
    document.show();
    QApplication::setActiveWindow(&document);
    ASSERT_TRUE(RunEventsUntil([&] { return QApplication::activeWindow() == &document; }, 5000));
    QFileDialog parentless, sheet(&document); // a file panel with no parent, as File > Open...'s was
    QWidget popUp(&sheet, Qt::Popup);         // the completion list of the panel's file field
    // A document window `before`, active before `active` and still shown, takes the panels; `minimized`
    // minimizes it (without one, the document): a minimized window takes them only when no other document
    // window is shown, and comes back with them.
    const struct Way
    {
        const char* way;
        QWidget* active;
        QWidget* before = nullptr;
        bool minimized = false;
    } ways[] = {
        {"the document active", &document},
        {"its sheet just closed", &sheet},
        {"a parentless panel just closed", &parentless},
        {"no window active", nullptr},
        {"a sheet's pop-up list still shown", &popUp},
        {"Download Atlases active", &downloads},
        {"another document window active last, then hidden", &otherDocument},
        {"Download Atlases active, another document window before it", &downloads, &otherDocument},
        {"Download Atlases active, the document window minimized", &downloads, nullptr, true},
        {"Download Atlases active, another document window before it minimized", &downloads, &otherDocument, true},
    };
    for (const auto& [way, active, before, minimized] : ways)
    {
        SCOPED_TRACE(way);
        QWidget* const owner = before && !minimized ? before : &document;
        if (before)
        {
            before->show();
            QApplication::setActiveWindow(before);
        }
        if (minimized)
            (before ? before : &document)->showMinimized();
        if (active && active != &document)
        {
            active->show();
            QApplication::setActiveWindow(active);
            if (active != &popUp && active != &downloads)
                active->hide();
        }
        QApplication::setActiveWindow(active);
        const auto onDocument = [&](QWidget* box) {
            return box->parentWidget() == owner && box->windowHandle()->transientParent() == owner->windowHandle() &&
                   !owner->isMinimized();
        };
        ShowAlertBox("Unreadable file.");
        ASSERT_TRUE(RunEventsUntil([] { return FindMessageBox() != nullptr; }, 5000));
        EXPECT_TRUE(onDocument(FindMessageBox()));
        FindMessageBox()->close();
        ASSERT_TRUE(RunEventsUntil([] { return FindMessageBox() == nullptr; }, 5000));
        std::string defaultButton;
        bool confirmationOnDocument = false;
        AnswerNextConfirmation([&](QMessageBox* box) { confirmationOnDocument = onDocument(box), box->close(); },
                               &defaultButton);
        EXPECT_FALSE(ShowConfirmationBox("Continue?"));
        EXPECT_TRUE(confirmationOnDocument);
        popUp.hide();
        downloads.hide();
        document.setWindowState(Qt::WindowNoState);
        if (before)
        {
            before->setWindowState(Qt::WindowNoState);
            before->hide();
        }
    }
}

// Among three document windows the order of activation tells which one the panels go on, not the order in
// which they were made or shown: the one active last, or the one active last that is not minimized.
TEST(WindowActivationTracker, TheDocumentWindowActiveLastComesFirstMinimizedOnesLast)
{
    const WindowActivationTracker tracker;
    QWidget windows[3];
    for (QWidget& window : windows)
    {
        WindowActivationTracker::MarkDocumentWindow(&window);
        window.show();
    }
    const struct
    {
        const char* what;
        std::vector<int> activated;
        int minimized, last, lastNotMinimized;
    } rows[] = {
        {"none minimized", {0, 1, 2}, -1, 2, 2},
        {"the one active last minimized", {0, 1, 2}, 2, 2, 1},
        {"the one active last minimized, the others the other way", {1, 0, 2}, 2, 2, 0},
        {"one active earlier minimized", {2, 0, 1}, 0, 1, 1},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        for (const int window : row.activated)
            WindowActivationTracker::NoteActivated(&windows[window]);
        if (row.minimized >= 0)
            windows[row.minimized].showMinimized();
        EXPECT_EQ(&windows[row.last], WindowActivationTracker::LastDocumentWindow());
        EXPECT_EQ(&windows[row.lastNotMinimized], WindowActivationTracker::LastDocumentWindow(true));
        if (row.minimized >= 0)
            windows[row.minimized].showNormal();
    }
}

// TERM, INT and HUP ask the program once to end, however many come and however late, from its event loop:
// a confirmation that waits is answered "No" and a context menu closed first, so that the code that opened
// them goes on before any window closes. One that the program was started with ignored (nohup, a background
// job's INT) stays ignored.
TEST_F(QtTerminationSignalsTest, SignalsAskOnceToEndAfterTheOpenConfirmationOrMenuUnlessIgnored)
{
    enum Loop
    {
        kConfirmation,
        kMenu,
        kDrag
    };
    struct Row
    {
        int signal;
        bool ignored;
        Loop loop;
    };
    for (const Row& row : {Row{SIGTERM, false, kConfirmation},
                           {SIGINT, false, kConfirmation},
                           {SIGHUP, false, kConfirmation},
                           {SIGHUP, true, kConfirmation},
                           {SIGTERM, false, kMenu},
                           {SIGTERM, false, kDrag}})
    {
        int requests = 0;
        bool answered = false, forced = false;
        std::signal(row.signal, row.ignored ? SIG_IGN : SIG_DFL);
        const QtTerminationSignals termination([&] { requests += answered ? 1 : 100; });
        const auto raiseTwice = [&](QWidget* loopOwner) {
            ::raise(row.signal), ::raise(row.signal);
            // Not ended by the signal: the test fails, not hangs.
            QTimer::singleShot(1000, loopOwner, [&forced, loopOwner] {
                forced = true, loopOwner->close();
                QDrag::cancel();
            });
        };
        std::string defaultButton;
        QMenu menu;
        menu.addAction("Show Structure");
        if (row.loop == kMenu)
        {
            QTimer::singleShot(0, &menu, [&] { raiseTwice(&menu); });
            menu.exec(QPoint(20, 20));
        }
        else if (row.loop == kDrag)
        {
            // A data set's row dragged out of the table, from the program's event loop.
            QWidget source;
            source.show();
            auto* drag = new QDrag(&source);
            drag->setMimeData(new QMimeData);
            QEventLoop program;
            QTimer::singleShot(0, &program, [&] {
                QTimer::singleShot(0, &source, [&] { raiseTwice(&source); });
                drag->exec(Qt::CopyAction);
                program.quit();
            });
            program.exec();
        }
        else
        {
            AnswerNextConfirmation(raiseTwice, &defaultButton);
            EXPECT_FALSE(ShowConfirmationBox("Download?"));
        }
        answered = true;
        RunEventsUntil([&] { return requests > 0; }, row.ignored ? 100 : 5000);
        ::raise(row.signal); // after the request: asks nothing more
        RunEventsFor(100);
        EXPECT_EQ(row.ignored ? 0 : 1, requests) << row.signal;
        EXPECT_EQ(row.ignored, forced) << row.signal;
    }
    EXPECT_EQ(SIG_IGN, std::signal(SIGHUP, SIG_DFL));
}

TEST_F(QtAlertPresenterTest, ConfirmationOutlivesAWindowClosedWhileItWaits)
{
    auto* window = new QWidget;
    window->show();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(RunEventsUntil([window] { return QApplication::activeWindow() == window; }, 5000));

    // A window that goes while the panel is up (a finished download closing its window) takes the panel
    // with it; the question then stays unanswered, which is "No".
    bool closed = false;
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, window, &closed] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        EXPECT_EQ(window, box->parentWidget());
        poll->stop();
        poll->deleteLater();
        delete window;
        closed = true;
    });
    poll->start(5);
    EXPECT_FALSE(ShowConfirmationBox("Keep the window?"));
    EXPECT_TRUE(closed);
}

} // namespace
