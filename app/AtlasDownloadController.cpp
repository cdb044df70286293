#include "app/AtlasDownloadController.h"

#include "app/AtlasDocumentHost.h"
#include "app/AtlasInstallerBridge.h"
#include "app/AtlasListModel.h"
#include "app/ItemViewFocus.h"
#include "atlas/AtlasInstaller.h"
#include "atlas/AtlasSet.h"
#include "atlas/AtlasesAvailableQuery.h"
#include "core/TaskProgress.h"
#include "core/UserCancelledOperationException.h"
#include "core/UserPreferences.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

#include <boost/filesystem/exception.hpp>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>

namespace
{

AtlasDownloadController* sAtlasDownloadController = nullptr;
AtlasDocumentHost* sDocumentHost = nullptr;

const char* const CANCELLED = "Atlas installation cancelled";
const char* const FILE_SYSTEM_FAILED = "A file system error occurred while trying to install an atlas";
const char* const INSTALL_FAILED = "Atlas installation failed";
const int TABLE_HEIGHT = 200;

QString RowText(const AtlasDownloadInfo& info)
{
    char megabytes[64];
    std::snprintf(megabytes, sizeof megabytes, "%.04g", static_cast<double>(info.size) / 1048576.0);
    const std::string suffix = info.needsInstall ? "" : " (Already installed)";
    return QString::fromStdString(info.name + " (" + megabytes + " MB) - " + info.datePublished + " " + suffix);
}

QString HostName()
{
    return QString::fromStdString(UserPreferences::GetPreferences()->GetHostName());
}

// Runs a window action; nothing it throws may reach Qt.
void Guarded(const std::function<void()>& action, const std::function<void(const QString&)>& report)
{
    try
    {
        action();
    }
    catch (const std::exception& error)
    {
        report(QString::fromStdString(error.what()));
    }
    catch (...)
    {
        report(QStringLiteral("Unexpected error"));
    }
}

} // namespace

void AtlasDownloadController::SetDocumentHost(AtlasDocumentHost* host)
{
    sDocumentHost = host;
}

AtlasDownloadController* AtlasDownloadController::Controller()
{
    if (!sAtlasDownloadController)
    {
        sAtlasDownloadController = new AtlasDownloadController();
        sAtlasDownloadController->StartQuery();
    }
    return sAtlasDownloadController;
}

AtlasDownloadController* AtlasDownloadController::Existing()
{
    return sAtlasDownloadController;
}

AtlasDownloadController::AtlasDownloadController()
    : m_model(new AtlasListModel(this))
{
    BuildWindow();
    SetStatus(QStringLiteral("Looking for atlases"));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
    {
        QRect frame = m_window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        m_window->move(frame.topLeft());
    }
    SetSpinning(true);
    m_bridge = std::make_unique<AtlasInstallerBridge>(this);
    // Quitting in the middle of an install must not leave the worker running into destroyed objects, nor a
    // download's unfinished package behind.
    if (QCoreApplication* application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, [this] {
            if (m_worker.joinable() && m_progressMeter)
                m_progressMeter->Cancel();
            JoinWorker();
            m_installQueue.clear();
        });
}

AtlasDownloadController::~AtlasDownloadController()
{
    if (m_worker.joinable() && m_progressMeter)
        m_progressMeter->Cancel();
    JoinWorker();
    m_installQueue.clear();
    m_query.reset();
    m_bridge.reset();
    if (sAtlasDownloadController == this)
        sAtlasDownloadController = nullptr;
}

void AtlasDownloadController::BuildWindow()
{
    m_window = std::make_unique<QDialog>();
    m_window->setObjectName(QStringLiteral("AtlasDownloader"));
    m_window->setWindowTitle(QStringLiteral("Download Atlases"));
    m_window->setModal(false);
    m_window->installEventFilter(this);

    m_statusMessage = new QLabel;
    m_statusMessage->setObjectName(QStringLiteral("statusMessage"));
    m_statusMessage->setWordWrap(true);

    m_atlasListContainer = new QWidget;
    m_atlasListContainer->setObjectName(QStringLiteral("atlasListContainer"));
    m_atlasListContainer->setFixedHeight(TABLE_HEIGHT);
    auto* containerLayout = new QVBoxLayout(m_atlasListContainer);
    containerLayout->setContentsMargins(0, 0, 0, 0);
    m_atlasListView = new QTableView;
    m_atlasListView->setObjectName(QStringLiteral("atlasListView"));
    m_atlasListView->setModel(m_model);
    m_atlasListView->setSelectionMode(QAbstractItemView::NoSelection);
    m_atlasListView->verticalHeader()->hide();
    m_atlasListView->setWordWrap(false);
    m_atlasListView->horizontalHeader()->setSectionResizeMode(AtlasListModel::NAME_COLUMN, QHeaderView::Stretch);
    m_atlasListView->horizontalHeader()->setSectionResizeMode(AtlasListModel::CHECK_COLUMN,
                                                              QHeaderView::ResizeToContents);
    containerLayout->addWidget(m_atlasListView);

    m_progressBar = new QProgressBar;
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_progressBar->setRange(0, 100);
    m_progressBar->setTextVisible(false);
    m_progressBar->hide();

    m_progressSpinner = new QProgressBar;
    m_progressSpinner->setObjectName(QStringLiteral("progressSpinner"));
    m_progressSpinner->setRange(0, 0);
    m_progressSpinner->setTextVisible(false);
    m_progressSpinner->setFixedWidth(60);

    m_installButton = new QPushButton(QStringLiteral("Install"));
    m_installButton->setObjectName(QStringLiteral("installButton"));
    m_installButton->setEnabled(false);
    m_installButton->setDefault(true);
    m_closeButton = new QPushButton(QStringLiteral("Close"));
    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    m_closeButton->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_progressSpinner);
    buttons->addStretch(1);
    buttons->addWidget(m_closeButton);
    buttons->addWidget(m_installButton);

    auto* layout = new QVBoxLayout(m_window.get());
    layout->addWidget(m_statusMessage);
    layout->addWidget(m_atlasListContainer);
    layout->addWidget(m_progressBar);
    layout->addLayout(buttons);
    m_window->resize(520, m_window->sizeHint().height());

    const auto report = [this](const QString& message) { SetStatus(message); };
    connect(m_installButton, &QPushButton::clicked, this, [this, report] { Guarded([this] { Install(); }, report); });
    connect(m_closeButton, &QPushButton::clicked, this, [this, report] { Guarded([this] { Close(); }, report); });
    connect(m_atlasListView, &QTableView::clicked, this,
            [this](const QModelIndex& index) { ToggleAtlasVisible(index.row()); });
    ItemViewFocus::KeepCurrentInColumn(m_atlasListView, AtlasListModel::NAME_COLUMN);
    if (sDocumentHost)
        sDocumentHost->AddApplicationCommands(m_window.get());
}

void AtlasDownloadController::StartQuery()
{
    try
    {
        m_query = std::make_unique<AtlasesAvailableQuery>(m_bridge.get());
    }
    catch (const std::exception& error)
    {
        QueryError(error.what());
    }
}

bool AtlasDownloadController::eventFilter(QObject* watched, QEvent* event)
{
    // The window's own close box and Escape act as the Close/Cancel button, which may keep it open.
    const bool closing = event->type() == QEvent::Close && !m_closingWindow;
    const bool escape = event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
    if (watched == m_window.get() && (closing || escape))
    {
        event->ignore();
        Guarded([this] { Close(); }, [this](const QString& message) { SetStatus(message); });
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void AtlasDownloadController::Show()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void AtlasDownloadController::SetStatus(const QString& text)
{
    m_statusMessage->setText(text);
}

void AtlasDownloadController::SetSpinning(bool on)
{
    m_progressSpinner->setVisible(on);
}

void AtlasDownloadController::ToggleAtlasVisible(int row)
{
    if (!m_installQueue.empty())
        return;
    m_model->Toggle(row);
    m_installButton->setEnabled(m_model->AnyTicked());
}

void AtlasDownloadController::QueryDone()
{
    const int count = m_query->GetNumAtlases();
    std::vector<QString> names;
    std::vector<bool> ticked;
    for (int i = 0; i < count; ++i)
    {
        const AtlasDownloadInfo& info = m_query->GetAtlasInfo(i);
        names.push_back(RowText(info));
        ticked.push_back(info.needsInstall);
    }
    m_model->SetRows(std::move(names), std::move(ticked));
    SetStatus(QStringLiteral("Select atlases to install from %1").arg(HostName()));
    SetSpinning(false);
    m_installButton->setEnabled(m_model->AnyTicked());
    UserPreferences::GetPreferences()->UpdateVersionQueryDate();

    if (m_window->isVisible())
        return;
    if (!m_model->AnyTicked())
    {
        Destroy();
        return;
    }
    SetStatus(QStringLiteral("Atlas updates available from %1").arg(HostName()));
    Show();
}

void AtlasDownloadController::QueryError(const std::string& message)
{
    SetStatus(QString::fromStdString(message));
    SetSpinning(false);
}

void AtlasDownloadController::Install()
{
    if (!m_installQueue.empty() || !m_model->AnyTicked())
        return;
    if (sDocumentHost && sDocumentHost->HasOpenDocuments())
    {
        QMessageBox question(m_window.get());
        question.setObjectName(QStringLiteral("CloseDocumentsQuestion"));
        question.setWindowTitle(QString());
        question.setText(QStringLiteral("All document windows need to be closed before continuing. Proceed?"));
        QPushButton* closeAll = question.addButton(QStringLiteral("Close All"), QMessageBox::AcceptRole);
        QPushButton* cancel = question.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
        question.setDefaultButton(closeAll);
        question.setEscapeButton(cancel);
        question.exec();
        if (question.clickedButton() != closeAll)
            return;
        m_closedDocuments = true;
        if (!sDocumentHost->CloseAllDocuments())
            return;
    }

    AtlasSet::GetAtlases()->SetLoading(true);
    StartDownloading();
    m_progressMeter = std::make_shared<TaskProgress>(1);
    m_progressMeter->SetCallback(UpdateAtlasInstallerProgress, this);
    for (int row = 0; row < m_model->rowCount(); ++row)
        if (m_model->IsTicked(row))
            m_installQueue.push_back(
                std::make_unique<AtlasInstaller>(m_query->GetAtlasInfo(row), m_bridge.get(), m_progressMeter));
    // Each atlas has a stage for its download and one for its unpacking, so the bar runs through once.
    m_progressMeter->SetNumStages(2 * static_cast<int>(m_installQueue.size()));
    m_currentInstallItem = 0;
    StartCurrentDownload();
}

void AtlasDownloadController::StartDownloading()
{
    SetStatus(QStringLiteral("Downloading atlases"));
    m_shrunkBy = m_atlasListContainer->height() - m_progressBar->sizeHint().height();
    SetSpinning(false);
    m_atlasListContainer->hide();
    m_progressBar->setValue(0);
    m_progressBar->show();
    m_installButton->setEnabled(false);
    m_closeButton->setText(QStringLiteral("Cancel"));
    // A top-level window keeps its top edge when resized.
    m_window->resize(m_window->width(), m_window->height() - m_shrunkBy);
}

void AtlasDownloadController::StartCurrentDownload()
{
    AtlasInstaller& installer = *m_installQueue[m_currentInstallItem];
    SetStatus(QStringLiteral("Downloading %1").arg(QString::fromStdString(installer.GetName())));
    try
    {
        installer.Download();
    }
    catch (const std::exception& error)
    {
        InstallFailed(error.what());
    }
    catch (...)
    {
        InstallFailed(std::string());
    }
}

void AtlasDownloadController::DownloadDone()
{
    ++m_currentInstallItem;
    if (m_currentInstallItem >= m_installQueue.size())
    {
        CloseDocumentsAndInstall();
        return;
    }
    m_progressMeter->IncrementStage();
    StartCurrentDownload();
}

void AtlasDownloadController::CloseDocumentsAndInstall()
{
    // The install moves atlas folders: no document may still use one.
    if (sDocumentHost && sDocumentHost->HasOpenDocuments())
    {
        m_closedDocuments = true;
        if (!sDocumentHost->CloseAllDocuments())
        {
            InstallFailed(CANCELLED);
            return;
        }
    }
    m_worker = std::thread([this] { PerformInstall(); });
}

void AtlasDownloadController::PerformInstall()
{
    const auto post = [this](std::function<void()> call) {
        QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
    };
    const auto fail = [this, post](const char* message) {
        const std::string text = m_progressMeter->ShouldCancel() ? CANCELLED : message;
        post([this, text] { InstallFailed(text); });
    };
    try
    {
        for (const std::unique_ptr<AtlasInstaller>& installer : m_installQueue)
        {
            const QString name = QString::fromStdString(installer->GetName());
            post([this, name] { SetStatus(QStringLiteral("Installing %1").arg(name)); });
            m_progressMeter->IncrementStage();
            if (m_progressMeter->ShouldCancel())
                throw UserCancelledOperationException();
            installer->Unpack();
        }
        AtlasSet::GetAtlases()->Reload();
        post([this] { InstallDone(); });
    }
    catch (const boost::filesystem::filesystem_error&)
    {
        fail(FILE_SYSTEM_FAILED);
    }
    catch (const std::filesystem::filesystem_error&)
    {
        fail(FILE_SYSTEM_FAILED);
    }
    catch (...)
    {
        fail(INSTALL_FAILED);
    }
}

void AtlasDownloadController::JoinWorker()
{
    if (m_worker.joinable())
        m_worker.join();
}

void AtlasDownloadController::InstallDone()
{
    JoinWorker();
    AtlasDocumentHost* host = sDocumentHost;
    Destroy();
    if (host)
        host->OpenUntitledDocument();
}

void AtlasDownloadController::InstallFailed(const std::string& message)
{
    JoinWorker();
    // Messages of the network layer end in a full stop of their own.
    QString text = QString::fromStdString(message);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    SetStatus(text.isEmpty() ? QStringLiteral("Atlas installation failed. Click Install to retry.")
                             : QStringLiteral("%1. Click Install to retry.").arg(text));
    // Taken before the table shows again: its layout would grow the window by itself.
    const int height = m_window->height() + m_shrunkBy;
    m_shrunkBy = 0;
    m_progressBar->hide();
    m_atlasListContainer->show();
    m_window->resize(m_window->width(), height);
    m_installButton->setEnabled(m_model->AnyTicked());
    m_closeButton->setText(QStringLiteral("Close"));
    // This may be inside the failing installer's own callback, which touches nothing after it.
    m_installQueue.clear();
    // No worker runs now: the atlas set may be rebuilt here, which also ends its loading state.
    AtlasSet::GetAtlases()->Reload();
}

void AtlasDownloadController::Close()
{
    if (!m_installQueue.empty())
    {
        if (m_currentInstallItem >= m_installQueue.size())
        {
            // The worker sees the flag and reports the cancellation itself.
            m_progressMeter->Cancel();
            return;
        }
        m_installQueue[m_currentInstallItem]->Abort();
        InstallFailed(CANCELLED);
        return;
    }
    if (AtlasSet::GetAtlases()->GetNumAtlases() == 0)
    {
        if (sDocumentHost)
            sDocumentHost->QuitApplication();
        return;
    }
    // The documents that a cancelled or failed run closed are not brought back; but the program, left with no
    // window, would end, so one opens as at start-up.
    AtlasDocumentHost* host = sDocumentHost;
    const bool reopen = m_closedDocuments && host && !host->HasOpenDocuments();
    Destroy();
    if (reopen)
        host->OpenUntitledDocument();
}

void AtlasDownloadController::Destroy()
{
    if (m_destroying)
        return;
    m_destroying = true;
    if (sAtlasDownloadController == this)
        sAtlasDownloadController = nullptr;
    m_closingWindow = true;
    m_window->close();
    deleteLater();
}

void AtlasDownloadController::UpdateProgress(int value)
{
    m_progressBar->setValue(value);
    m_progressBar->repaint();
}

void UpdateAtlasInstallerProgress(TaskProgress* progress)
{
    auto* controller = static_cast<AtlasDownloadController*>(progress->GetUserData());
    if (!controller)
        return;
    const int value = progress->GetProgress();
    QMetaObject::invokeMethod(
        controller, [controller, value] { controller->UpdateProgress(value); }, Qt::QueuedConnection);
}
