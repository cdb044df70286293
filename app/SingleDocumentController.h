#pragma once

#include <QObject>
#include <QPointer>

#include <string>
#include <vector>

class CorvaneDoc;
class QFileDialog;
class QMenu;
class QWidget;

// The open documents, one per atlas: makes a new document (asking which atlas when several are
// installed), opens data-set files into the current document and keeps the recent files. Main thread only.
class SingleDocumentController : public QObject
{
    Q_OBJECT

public:
    static SingleDocumentController* Instance();

    // Takes the document; it is deleted (deferred) once its window has closed.
    void addDocument(CorvaneDoc* doc);
    const std::vector<CorvaneDoc*>& documents() const { return m_documents; }
    // The document of the active window, else null.
    CorvaneDoc* currentDocument() const;

    // The untitled document of the chosen atlas, shown; null when no atlas is installed or the choice
    // was cancelled (cancelled then tells which).
    CorvaneDoc* openUntitledDocumentAndDisplay(bool* cancelled = nullptr);
    // The data-set file read into the current (else the first) document; null when there is none.
    CorvaneDoc* openDocumentWithContentsOfFile(const std::string& path);
    // The chosen atlas's index in the installed list, or -1.
    int chooseAtlas();
    // Whether "Open..." may be used: one of the atlases that data-set files are made for is installed.
    bool validateOpenDocument() const;

    // Moves a document window that is about to be shown down and right of the open document window shown
    // last, so that it does not hide that one exactly.
    void cascadeWindow(QWidget* window) const;

    // Menu commands.
    void newDocument();
    void openDocument();

    void noteNewRecentDocumentURL(const std::string& path);
    std::vector<std::string> recentDocuments() const;
    void FillRecentMenu(QMenu* menu);

    // Tells the user, in a panel that waits for them, why an atlas cannot be used; the text can be selected.
    static void ShowAtlasFailure(const std::string& message);
    // Says that no usable atlas is left and ends the program.
    static void QuitForLackOfUsableAtlases();

    // The index the chooser preselects (the last one chosen in this process).
    static int GetRememberedAtlasIndex();
    static void SetRememberedAtlasIndex(int index);

signals:
    void DocumentRemoved();

private:
    SingleDocumentController() = default;
    void removeDocument(CorvaneDoc* doc);

    std::vector<CorvaneDoc*> m_documents;
    QPointer<QFileDialog> m_openPanel;
};
