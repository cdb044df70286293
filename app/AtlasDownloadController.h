#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <string>
#include <thread>
#include <vector>

class AtlasDocumentHost;
class AtlasInstaller;
class AtlasInstallerBridge;
class AtlasListModel;
class AtlasesAvailableQuery;
class QDialog;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;
class QWidget;
class TaskProgress;

// The atlas download window ("AtlasDownloader"): lists the catalogue of the data server, downloads the
// ticked atlases one after another, closes every document, installs them on a worker thread and opens a
// new document. The same object serves the background check at start-up: it fetches the catalogue without
// showing itself and comes forward only when an update is available.
//
// One controller at a time serves the process; it destroys itself (deferred) when its window is done with.
// Everything runs on the main thread except the install worker, which touches no window object: its
// status, progress, completion and failure reach the main thread queued. The worker is joined before the
// controller goes and whenever a run ends.
class AtlasDownloadController : public QObject
{
    Q_OBJECT

public:
    // Where the controllers find the documents; set by the application shell before the first controller
    // is made. Without one the program counts as having no open document.
    static void SetDocumentHost(AtlasDocumentHost* host);
    // The process's controller, made on first use: it starts fetching the catalogue, hidden.
    static AtlasDownloadController* Controller();
    // The process's controller, or null when there is none (none made yet, or it has gone).
    static AtlasDownloadController* Existing();

    // Cancels and joins a running install first.
    ~AtlasDownloadController() override;

    // Brings the window forward.
    void Show();
    // The Close/Cancel button: cancels a run under way; otherwise closes the window (and with no atlas
    // installed ends the program). When a run closed the documents, a new one opens as at start-up.
    void Close();
    // The Install button.
    void Install();
    // A click in the table's row; rows outside the list do nothing.
    void ToggleAtlasVisible(int row);

    // From the catalogue query and the installers, on the main thread.
    void QueryDone();
    void QueryError(const std::string& message);
    void DownloadDone();
    // Ends a run with "<message>. Click Install to retry." (an empty message names a general failure).
    void InstallFailed(const std::string& message);

    QDialog* GetWindow() const { return m_window.get(); }

private:
    AtlasDownloadController();

    void BuildWindow();
    void StartQuery();
    void StartDownloading();
    void StartCurrentDownload();
    void CloseDocumentsAndInstall();
    // The worker thread's body.
    void PerformInstall();
    void InstallDone();
    void UpdateProgress(int value);
    void SetStatus(const QString& text);
    void SetSpinning(bool on);
    void JoinWorker();
    // Closes the window and goes, deferred: the caller may be inside a callback of the query.
    void Destroy();
    bool eventFilter(QObject* watched, QEvent* event) override;

    friend void UpdateAtlasInstallerProgress(TaskProgress* progress);

    std::unique_ptr<QDialog> m_window;
    QTableView* m_atlasListView = nullptr;
    QWidget* m_atlasListContainer = nullptr;
    QPushButton* m_installButton = nullptr;
    QPushButton* m_closeButton = nullptr;
    QLabel* m_statusMessage = nullptr;
    QProgressBar* m_progressSpinner = nullptr;
    QProgressBar* m_progressBar = nullptr;
    AtlasListModel* m_model = nullptr;

    std::unique_ptr<AtlasInstallerBridge> m_bridge;
    std::unique_ptr<AtlasesAvailableQuery> m_query;
    std::shared_ptr<TaskProgress> m_progressMeter;
    std::vector<std::unique_ptr<AtlasInstaller>> m_installQueue;
    std::size_t m_currentInstallItem = 0;
    std::thread m_worker;
    // How much the window shrank when the progress bar took the table's place.
    int m_shrunkBy = 0;
    // A run closed the open documents: closing the window must not leave the program without one.
    bool m_closedDocuments = false;
    bool m_closingWindow = false;
    bool m_destroying = false;
};

// The progress callback of an install run: hands the progress to the controller in the progress object's
// user data, on the main thread. Called on whichever thread changed the progress.
void UpdateAtlasInstallerProgress(TaskProgress* progress);
