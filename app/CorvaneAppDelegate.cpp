#include "app/CorvaneAppDelegate.h"

#include "app/AtlasDownloadController.h"
#include "app/CorvaneDoc.h"
#include "app/CorvaneWindowController.h"
#include "app/SingleDocumentController.h"
#include "app/Updater.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasFileError.h"
#include "atlas/AtlasSet.h"
#include "atlas/AtlasSpace.h"
#include "core/Alerts.h"
#include "core/OSUtils.h"
#include "core/UserPreferences.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "expression/UrlProtocolParser.h"
#include "platform/WindowActivationTracker.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QUrl>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <stdexcept>

namespace
{
bool sPreflightRan = false;
constexpr int kPendingPollMs = 200;
constexpr int kIdlePollMs = 500;

// Whether a window of the program is shown (menus and tooltips aside).
bool HasVisibleWindows()
{
    for (const QWidget* widget : QApplication::topLevelWidgets())
    {
        const Qt::WindowType type = widget->windowType();
        if (widget->isVisible() && type != Qt::Popup && type != Qt::ToolTip)
            return true;
    }
    return false;
}

std::string Replace(std::string text, const std::string& piece, const std::string& with)
{
    const std::size_t at = text.find(piece);
    if (at != std::string::npos)
        text.replace(at, piece.size(), with);
    return text;
}

bool InstallRunning()
{
    AtlasSet* atlases = AtlasSet::GetAtlases();
    return atlases && atlases->IsLoading();
}
} // namespace

CorvaneAppDelegate* CorvaneAppDelegate::Instance()
{
    static CorvaneAppDelegate* instance = new CorvaneAppDelegate();
    return instance;
}

CorvaneAppDelegate::CorvaneAppDelegate()
    : m_updater(std::make_unique<Updater>())
{
    AtlasDownloadController::SetDocumentHost(this);
    connect(SingleDocumentController::Instance(), &SingleDocumentController::DocumentRemoved, this,
            &CorvaneAppDelegate::DocumentClosed);
}

CorvaneAppDelegate::~CorvaneAppDelegate()
{
    AtlasDownloadController::SetDocumentHost(nullptr);
}

void CorvaneAppDelegate::ResetPreflight()
{
    sPreflightRan = false;
}

void CorvaneAppDelegate::applicationWillFinishLaunching()
{
    UserPreferences* preferences = UserPreferences::GetPreferences();
    m_updater->SetAutomaticallyChecksForUpdates(preferences->GetAutoVersionCheck());
    m_updater->SetUpdateCheckInterval(604800);
    m_updater->SetFeedURL(Replace("%1%/Corvane2/mac-appcast.xml", "%1%", preferences->GetHostName()));
}

bool CorvaneAppDelegate::preflight()
{
    if (sPreflightRan)
        return true;
    sPreflightRan = true;
    try
    {
        AtlasSet* atlases = AtlasSet::GetAtlases();
        // An installed atlas that cannot be read is not listed: the user hears which file keeps it out.
        for (const AtlasSet::Rejection& rejected : atlases->GetRejections())
            SingleDocumentController::ShowAtlasFailure(
                AtlasFileError::Describe(rejected.folder, rejected.file, rejected.reason));
        if (atlases->GetNumAtlases() > 0)
            return true;
        if (!atlases->GetRejections().empty())
        {
            SingleDocumentController::QuitForLackOfUsableAtlases();
            return false;
        }
        AtlasDownloadController::Controller()->Show();
        return false;
    }
    catch (const std::exception& e)
    {
        QMessageBox::critical(
            nullptr, "Critical Error",
            QString::fromStdString(std::string("Could not initialize Corvane atlases.\n\n") + e.what()));
    }
    catch (...)
    {
        QMessageBox::critical(nullptr, "Critical Error", "Could not initialize Corvane atlases.");
    }
    QuitApplication();
    return false;
}

bool CorvaneAppDelegate::applicationShouldOpenUntitledFile()
{
    if (!preflight())
        return false;
    AtlasSet* atlases = AtlasSet::GetAtlases();
    return atlases && atlases->GetNumAtlases() > 0;
}

void CorvaneAppDelegate::applicationDidFinishLaunching()
{
    preflight();
    UserPreferences* preferences = UserPreferences::GetPreferences();
    if (preferences->GetBuildNumber() > preferences->GetLastVersionRun())
    {
        AtlasDownloadController::Controller();
        preferences->UpdateLastVersionRun();
    }
    else if (preferences->ShouldQueryVersion())
        AtlasDownloadController::Controller();
    m_updater->CheckIfDue();
}

void CorvaneAppDelegate::checkForAtlases()
{
    AtlasDownloadController::Controller()->Show();
}

void CorvaneAppDelegate::showHelp()
{
    OSUtils::OpenBrowser(UserPreferences::GetPreferences()->GetHostName() + "/confluence/display/Corvane/Home");
}

bool CorvaneAppDelegate::applicationOpenFile(const std::string& path)
{
    AtlasSet* atlases = AtlasSet::GetAtlases();
    if (!atlases || atlases->GetNumAtlases() == 0)
        return false;
    try
    {
        auto dataSet = std::make_shared<GeneExpression>();
        dataSet->LoadAtlasSpace(path.c_str(), nullptr);
        const AtlasSpace* space = dataSet->GetNumAtlasSpaces() > 0 ? dataSet->GetAtlasSpace(0) : nullptr;
        // A data set that names no atlas belongs to none: it is reported as atlas 0.
        const unsigned int atlasId = space && space->GetAtlas() ? space->GetAtlas()->GetAtlasId() : 0;
        CorvaneDoc* doc = atlasId != 0 ? documentWithAtlas(atlasId) : nullptr;
        if (!doc)
            throw std::runtime_error("Atlas not found: " + std::to_string(atlasId));
        if (!doc->expressionModel()->AddGeneExpression(dataSet, true))
            throw std::runtime_error("Could not display data.");
        SingleDocumentController::Instance()->noteNewRecentDocumentURL(path);
        return true;
    }
    catch (const std::exception& e)
    {
        ShowAlertBox("Could not open file " + path + ".\n\n" + e.what());
    }
    catch (...)
    {
        ShowAlertBox("Could not open file " + path + ".");
    }
    return false;
}

CorvaneDoc* CorvaneAppDelegate::documentWithAtlas(unsigned int atlasId, bool atlasNamed)
{
    SingleDocumentController* controller = SingleDocumentController::Instance();
    CorvaneDoc* doc = controller->currentDocument();
    if (!doc || doc->expressionModel()->GetAtlas()->GetAtlasId() != atlasId)
    {
        doc = nullptr;
        for (CorvaneDoc* open : controller->documents())
            if (open->expressionModel()->GetAtlas()->GetAtlasId() == atlasId)
                doc = open;
    }
    if (!doc)
    {
        std::string failure;
        doc = CorvaneDoc::initWithAtlas(atlasId, &failure, atlasNamed);
        if (!doc && !failure.empty())
            throw std::runtime_error(failure);
        if (!doc)
            return nullptr;
        controller->addDocument(doc);
        doc->makeWindowControllers();
        doc->showWindows();
    }
    if (CorvaneWindowController* window = doc->windowController())
        window->BringToFront();
    return doc;
}

std::string CorvaneAppDelegate::AtlasDisplayName(unsigned int atlasId)
{
    switch (atlasId)
    {
    case 310:
        return "Ostrel Adult Mouse";
    case 350:
        return "Ostrel Developing Mouse";
    case 351:
        return "Ostrel Primate Microarray";
    case 378:
        return "Ostrel Mouse Connectivity";
    default:
        return "Ostrel Brain Atlas";
    }
}

void CorvaneAppDelegate::getUrl(const std::string& url)
{
    std::shared_ptr<Atlas> atlas;
    try
    {
        UrlProtocolParser parser(url);
        // No atlas has id 0: offering to download one would only end in a failed download.
        if (parser.GetAtlasId() == 0)
            throw std::invalid_argument(url + " (no atlas id: the URL needs atlas=<id>)");
        atlas = AtlasSet::GetAtlasWithId(parser.GetAtlasId());
        if (!atlas)
        {
            const std::string question =
                AtlasDisplayName(parser.GetAtlasId()) + " files are needed to view this data. Download now?";
            if (ShowConfirmationBox(question))
                checkForAtlases();
            return;
        }
        // The alert below names the atlas.
        CorvaneDoc* doc = documentWithAtlas(parser.GetAtlasId(), true);
        if (!doc)
            throw std::runtime_error("Atlas not found: " + std::to_string(parser.GetAtlasId()));
        parser.RequestData(doc->searchController());
        if (!parser.GetColormap().empty())
            doc->expressionModel()->SetGeneColorMode(parser.GetColormap(), true);
        const float* range = parser.GetExpressionRange();
        if (range[0] != 0.0f && range[1] != 0.0f)
            doc->expressionModel()->SetExpressionWindow(range[0], range[1], true);
    }
    catch (const std::invalid_argument& e)
    {
        ShowAlertBox(std::string("Error parsing URL at ") + e.what());
    }
    catch (const std::exception& e)
    {
        ShowAlertBox(atlas ? "Atlas " + atlas->GetName() + " could not be opened. " + e.what() : std::string(e.what()));
    }
    catch (...)
    {
        ShowAlertBox("An unrecoverable error occurred while attempting to load data.");
    }
}

void CorvaneAppDelegate::HandleArguments(const QStringList& arguments, bool firstLaunch)
{
    if (arguments.isEmpty())
    {
        if (firstLaunch)
        {
            if (applicationShouldOpenUntitledFile())
                OpenUntitledDocument();
        }
        else if (CorvaneDoc* doc = LastActiveDocument())
            doc->showWindows();
        else if (applicationShouldOpenUntitledFile())
            OpenUntitledDocument();
        return;
    }
    preflight();
    m_pending.append(arguments);
    RunPendingRequests();
}

void CorvaneAppDelegate::RunPendingRequests()
{
    // While an install rebuilds the atlas list it reads as empty: the requests wait for the new one.
    if (InstallRunning())
    {
        QTimer::singleShot(kPendingPollMs, this, &CorvaneAppDelegate::RunPendingRequests);
        return;
    }
    const QStringList requests = m_pending;
    m_pending.clear();
    for (const QString& request : requests)
        HandleArgument(request);
}

void CorvaneAppDelegate::HandleArgument(const QString& argument)
{
    if (argument.startsWith("corv:", Qt::CaseInsensitive))
        getUrl(argument.toStdString());
    else
    {
        const QString path = argument.startsWith("file://") ? QUrl(argument).toLocalFile() : argument;
        applicationOpenFile(QFileInfo(path).absoluteFilePath().toStdString());
    }
}

CorvaneDoc* CorvaneAppDelegate::LastActiveDocument()
{
    const std::vector<CorvaneDoc*>& open = SingleDocumentController::Instance()->documents();
    const QWidget* last = WindowActivationTracker::LastDocumentWindow();
    for (CorvaneDoc* doc : open)
        if (doc->windowController() == last)
            return doc;
    return open.empty() ? nullptr : open.front();
}

bool CorvaneAppDelegate::HasOpenDocuments() const
{
    return !SingleDocumentController::Instance()->documents().empty();
}

bool CorvaneAppDelegate::CloseAllDocuments()
{
    SingleDocumentController* controller = SingleDocumentController::Instance();
    const std::vector<CorvaneDoc*> open = controller->documents();
    for (auto it = open.rbegin(); it != open.rend(); ++it)
        (*it)->performClose();
    return controller->documents().empty();
}

void CorvaneAppDelegate::OpenUntitledDocument()
{
    SingleDocumentController::Instance()->openUntitledDocumentAndDisplay();
}

void CorvaneAppDelegate::QuitApplication()
{
    QTimer::singleShot(0, qApp, [] { QApplication::exit(0); });
}

void CorvaneAppDelegate::terminate()
{
    m_terminating = true;
    CloseAllDocuments();
    QuitApplication();
}

void CorvaneAppDelegate::AddApplicationCommands(QWidget* window, bool withNew)
{
    if (withNew)
        window->addAction(NewCommand(window));
    window->addAction(QuitCommand(window));
}

QAction* CorvaneAppDelegate::NewCommand(QObject* parent)
{
    auto* create = new QAction(tr("New"), parent);
    create->setShortcut(QKeySequence::New);
    // In an install it opens nothing: the atlas set reads as empty until the install has rebuilt it.
    connect(create, &QAction::triggered, create, [] { SingleDocumentController::Instance()->newDocument(); });
    return create;
}

QAction* CorvaneAppDelegate::QuitCommand(QObject* parent)
{
    auto* quit = new QAction(tr("Quit Corvane"), parent);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, quit, [] { Instance()->terminate(); });
    return quit;
}

void CorvaneAppDelegate::DocumentClosed()
{
    QuitIfIdle();
}

void CorvaneAppDelegate::QuitIfIdle()
{
    if (!m_quitWhenLastCloses || HasOpenDocuments())
        return;
    // A quit in Choose Atlas at start came before the program's event loop ran, and ended the chooser's loop
    // only: the program's is ended as it starts. Otherwise any window still up keeps the program running: the
    // download window installs and opens the next document, the atlas chooser that follows an install opens
    // the chosen one, an alert waits to be read.
    if (!m_terminating && HasVisibleWindows())
    {
        // Looked at again until a document opens or the last window goes.
        QTimer::singleShot(kIdlePollMs, this, &CorvaneAppDelegate::QuitIfIdle);
        return;
    }
    QuitApplication();
}
