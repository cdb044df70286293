#include "app/SingleDocumentController.h"

#include "app/AtlasChooser.h"
#include "app/CorvaneDoc.h"
#include "app/CorvaneWindowController.h"
#include "app/ScreenFit.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSet.h"
#include "core/DefaultsStore.h"
#include "core/PlatformHooks.h"
#include "platform/QtAlertPresenter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <set>
#include <stdexcept>

namespace
{
int sAtlasIdx = 0;
const char* const kRecentKey = "RecentDocuments";
constexpr int kMaxRecent = 10;
} // namespace

SingleDocumentController* SingleDocumentController::Instance()
{
    static SingleDocumentController* instance = new SingleDocumentController();
    return instance;
}

int SingleDocumentController::GetRememberedAtlasIndex()
{
    return sAtlasIdx;
}

void SingleDocumentController::SetRememberedAtlasIndex(int index)
{
    sAtlasIdx = index;
}

void SingleDocumentController::addDocument(CorvaneDoc* doc)
{
    m_documents.push_back(doc);
    connect(doc, &CorvaneDoc::Closed, this, [this](CorvaneDoc* closed) { removeDocument(closed); });
}

void SingleDocumentController::removeDocument(CorvaneDoc* doc)
{
    const auto it = std::find(m_documents.begin(), m_documents.end(), doc);
    if (it == m_documents.end())
        return;
    m_documents.erase(it);
    // The window is inside its own close event: the document goes when that has returned.
    doc->deleteLater();
    emit DocumentRemoved();
}

CorvaneDoc* SingleDocumentController::currentDocument() const
{
    CorvaneDoc* current = CorvaneDoc::CurrentDoc();
    return std::find(m_documents.begin(), m_documents.end(), current) != m_documents.end() ? current : nullptr;
}

void SingleDocumentController::cascadeWindow(QWidget* window) const
{
    // Any move would make a maximized window a normal one again.
    if (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    const QWidget* last = nullptr;
    for (const CorvaneDoc* doc : m_documents)
    {
        const QWidget* other = doc->windowController();
        if (other && other != window && other->isVisible())
            last = other;
    }
    if (!last)
        return;
    // A title bar's height down and right, as desktop programs cascade their windows. A window that would
    // leave the screen there gives up the part that would, as far as its least size allows (one as large as
    // the screen would otherwise come back over the last one exactly); only then is it put in the screen's
    // corner. The frame is reckoned as the screen fit reckons it, so that the fit leaves the place alone.
    const int step = std::max(20, window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window));
    const QRect screen = last->screen()->availableGeometry();
    const QMargins margins = ScreenFit::FrameMargins(window);
    QRect frame(last->frameGeometry().topLeft() + QPoint(step, step), window->size().grownBy(margins));
    const QSize room(screen.right() + 1 - frame.left(), screen.bottom() + 1 - frame.top());
    const QSize least = window->minimumSizeHint().expandedTo(window->minimumSize()).grownBy(margins);
    frame.setSize(frame.size().boundedTo(room).expandedTo(least));
    if (!screen.contains(frame))
        frame.moveTopLeft(screen.topLeft());
    window->setGeometry(frame.marginsRemoved(margins));
}

int SingleDocumentController::chooseAtlas()
{
    AtlasSet* atlases = AtlasSet::GetAtlases();
    const int count = atlases ? atlases->GetNumAtlases() : 0;
    if (count == 1)
        return 0;
    if (count == 0)
    {
        QuitForLackOfUsableAtlases();
        return -1;
    }
    std::unique_ptr<AtlasChooser> chooser(AtlasChooser::initWithAtlas(sAtlasIdx));
    if (!chooser)
        return -1;
    const int response = chooser->runModal();
    if (response != AtlasChooser::kAborted && response != 0)
        sAtlasIdx = chooser->atlas();
    chooser->close();
    return response == AtlasChooser::kAborted || response == 0 ? -1 : sAtlasIdx;
}

CorvaneDoc* SingleDocumentController::openUntitledDocumentAndDisplay(bool* cancelled)
{
    if (cancelled)
        *cancelled = false;
    AtlasSet* atlases = AtlasSet::GetAtlases();
    if (!atlases || atlases->GetNumAtlases() == 0)
        return nullptr;
    // An atlas that cannot be opened is told about, and the user may choose another until none is left.
    std::set<unsigned int> failed;
    for (;;)
    {
        const int index = chooseAtlas();
        if (index < 0)
        {
            if (cancelled)
                *cancelled = true;
            return nullptr;
        }
        const std::shared_ptr<Atlas> atlas = atlases->GetAtlas(index);
        std::string failure;
        if (CorvaneDoc* doc = CorvaneDoc::initWithAtlas(atlas->GetAtlasId(), &failure))
        {
            addDocument(doc);
            doc->makeWindowControllers();
            doc->showWindows();
            return doc;
        }
        ShowAtlasFailure(failure.empty() ? "The atlas could not be opened." : failure);
        failed.insert(atlas->GetAtlasId());
        if (failed.size() < static_cast<std::size_t>(atlases->GetNumAtlases()))
            continue;
        // The open documents still work with what they have loaded.
        if (m_documents.empty())
            QuitForLackOfUsableAtlases();
        return nullptr;
    }
}

void SingleDocumentController::ShowAtlasFailure(const std::string& message)
{
    // Modal: at start-up no window carries an alert, and what follows (the chooser, or the end of the
    // program) must wait until the user has read it. Later, on the document window it is about.
    QMessageBox panel(QMessageBox::Warning, QString(), QString::fromStdString(message), QMessageBox::NoButton,
                      QtAlertPresenter::OwnerWindow());
    panel.setTextFormat(Qt::PlainText);
    panel.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    panel.exec();
}

void SingleDocumentController::QuitForLackOfUsableAtlases()
{
    QMessageBox panel(QMessageBox::Information, "Critical Error",
                      "Corvane could not find any usable atlas files. Please delete the application and "
                      "reinstall it from the Corvane web site.",
                      QMessageBox::NoButton, QtAlertPresenter::OwnerWindow());
    panel.addButton("Quit", QMessageBox::AcceptRole);
    panel.exec();
    QTimer::singleShot(0, qApp, [] { QApplication::exit(0); });
}

CorvaneDoc* SingleDocumentController::openDocumentWithContentsOfFile(const std::string& path)
{
    AtlasSet* atlases = AtlasSet::GetAtlases();
    if (!atlases || atlases->GetNumAtlases() == 0)
        return nullptr;
    CorvaneDoc* doc = currentDocument();
    if (!doc && !m_documents.empty())
        doc = m_documents.front();
    if (!doc)
        return nullptr;
    if (doc->readFromFile(path, "xpz"))
        noteNewRecentDocumentURL(path);
    return doc;
}

bool SingleDocumentController::validateOpenDocument() const
{
    AtlasSet* atlases = AtlasSet::GetAtlases();
    if (!atlases || atlases->GetNumAtlases() == 0)
        return false;
    for (unsigned int id : {350u, 310u, 378u})
        if (AtlasSet::GetAtlasWithId(id))
            return true;
    return false;
}

void SingleDocumentController::newDocument()
{
    openUntitledDocumentAndDisplay();
}

void SingleDocumentController::openDocument()
{
    if (!validateOpenDocument())
        return;
    // One Open panel at a time, opened from the event loop as the import panels are: a modal loop run inside
    // the menu's click would handle every other event of the program, the menus' own among them, before that
    // click has finished.
    if (m_openPanel)
    {
        m_openPanel->raise();
        m_openPanel->activateWindow();
        return;
    }
    m_openPanel =
        new QFileDialog(QtAlertPresenter::OwnerWindow(), "Open", QString(), "Data sets (*.xpz *.zip);;All files (*)");
    m_openPanel->setFileMode(QFileDialog::ExistingFile);
    m_openPanel->setWindowModality(Qt::ApplicationModal);
    m_openPanel->setAttribute(Qt::WA_DeleteOnClose);
    // Read once the panel has gone, so that an alert about the file stands on the document, not on the panel.
    // Read once only: the panel's file field accepts on every Return it gets, also those of a held key that
    // were queued for it before it closed, and each would read the file again.
    connect(
        m_openPanel, &QFileDialog::finished, this,
        [this, panel = m_openPanel](int result) {
            const QStringList files = panel ? panel->selectedFiles() : QStringList();
            if (result == QDialog::Accepted && !files.isEmpty())
                openDocumentWithContentsOfFile(files.first().toStdString());
        },
        Qt::SingleShotConnection);
    m_openPanel->open();
}

std::vector<std::string> SingleDocumentController::recentDocuments() const
{
    std::vector<std::string> paths;
    DefaultsStore& store = PlatformHooks::GetDefaultsStore();
    if (!store.HasValue(kRecentKey))
        return paths;
    const QStringList list = QString::fromStdString(store.GetValue(kRecentKey)).split('\n', Qt::SkipEmptyParts);
    for (const QString& path : list)
        paths.push_back(path.toStdString());
    return paths;
}

void SingleDocumentController::noteNewRecentDocumentURL(const std::string& path)
{
    std::vector<std::string> paths = recentDocuments();
    paths.erase(std::remove(paths.begin(), paths.end(), path), paths.end());
    paths.insert(paths.begin(), path);
    if (paths.size() > kMaxRecent)
        paths.resize(kMaxRecent);
    QStringList list;
    for (const std::string& p : paths)
        list << QString::fromStdString(p);
    PlatformHooks::GetDefaultsStore().SetValue(kRecentKey, list.join('\n').toStdString());
}

void SingleDocumentController::FillRecentMenu(QMenu* menu)
{
    menu->clear();
    for (const std::string& path : recentDocuments())
        menu->addAction(QString::fromStdString(path), this, [this, path] { openDocumentWithContentsOfFile(path); });
    menu->setEnabled(!menu->isEmpty());
}
