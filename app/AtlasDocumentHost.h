#pragma once

class QWidget;

// What the atlas download window needs of the application's documents. The application shell implements
// it and hands it to AtlasDownloadController::SetDocumentHost at start-up. Main thread only.
class AtlasDocumentHost
{
public:
    virtual ~AtlasDocumentHost() = default;
    virtual bool HasOpenDocuments() const = 0;
    // Closes every open document, from the last to the first; answers whether none is left open.
    virtual bool CloseAllDocuments() = 0;
    // Opens a new document and shows it; with several atlases installed the user chooses one first.
    virtual void OpenUntitledDocument() = 0;
    // Ends the program: it cannot work without an atlas.
    virtual void QuitApplication() = 0;
    // Gives the download window the program's commands that need no document (New, Quit) on their keys; a
    // host without such commands gives none.
    virtual void AddApplicationCommands(QWidget* /*window*/) {}
};
