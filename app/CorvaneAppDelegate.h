#pragma once

#include "app/AtlasDocumentHost.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <string>

class CorvaneDoc;
class QAction;
class QWidget;
class Updater;

// The application's top: launch set-up, the one-time check for installed atlases, the update check,
// opening data files and answering requests of the "corv" URL scheme, from this launch's arguments or from
// later launches. Main thread only.
class CorvaneAppDelegate : public QObject, public AtlasDocumentHost
{
    Q_OBJECT

public:
    static CorvaneAppDelegate* Instance();
    ~CorvaneAppDelegate() override;

    void applicationWillFinishLaunching();
    bool applicationShouldOpenUntitledFile();
    void applicationDidFinishLaunching();
    // Whether documents may open; lists the atlases once per process.
    bool preflight();
    void checkForAtlases();
    void showHelp();
    bool applicationOpenFile(const std::string& path);
    // Null when the atlas is not installed; throws, with the user's explanation, when it cannot be opened
    // (one that does not name the atlas again when the caller's alert does).
    CorvaneDoc* documentWithAtlas(unsigned int atlasId, bool atlasNamed = false);
    void getUrl(const std::string& url);
    // Closes every document window (saving its settings) and ends the program.
    void terminate();
    // Gives a window of the program other than a document's the commands that need no document, on their
    // keys: there is no menu bar but the document windows', and without them a user in Download Atlases,
    // Preferences or Choose Atlas (or in an install, which has closed every document) could not quit but
    // through the window manager. Without withNew, Quit only: Choose Atlas is itself the question that New
    // asks.
    static void AddApplicationCommands(QWidget* window, bool withNew);
    // The commands that need no document, for every window that offers them: "New" and "Quit Corvane" on
    // their keys.
    static QAction* NewCommand(QObject* parent);
    static QAction* QuitCommand(QObject* parent);

    // The arguments of a launch: "corv" URLs and data-set files; none opens the untitled document (first
    // launch) or brings a window forward (later launches). Requests wait while atlases are being installed.
    void HandleArguments(const QStringList& arguments, bool firstLaunch);

    // The display name of an atlas that is not installed, for the download question.
    static std::string AtlasDisplayName(unsigned int atlasId);
    Updater* GetUpdater() const { return m_updater.get(); }
    // The program ends when its last document window closes (unless another of its windows is open);
    // off until the program's event loop runs.
    void SetQuitWhenLastDocumentCloses(bool on) { m_quitWhenLastCloses = on; }
    // Ends the program when no document and no other window of the program is open, or no document once a
    // quit was asked (and quitting is on).
    void QuitIfIdle();
    // Forgets that the preflight ran (tests).
    static void ResetPreflight();

    bool HasOpenDocuments() const override;
    bool CloseAllDocuments() override;
    void OpenUntitledDocument() override;
    void QuitApplication() override;
    void AddApplicationCommands(QWidget* window) override { AddApplicationCommands(window, true); }

private:
    CorvaneAppDelegate();
    void DocumentClosed();
    void RunPendingRequests();
    void HandleArgument(const QString& argument);
    // The document whose window was active last, else the first; null when none is open.
    static CorvaneDoc* LastActiveDocument();

    std::unique_ptr<Updater> m_updater;
    QStringList m_pending;
    bool m_terminating = false;
    bool m_quitWhenLastCloses = false;
};
