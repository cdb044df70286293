#pragma once

#include "core/NetEventListener.h"
#include "gl/GLName.h"
#include "gl/MouseListener.h"

#include <cstdint>
#include <memory>
#include <string>

class BrainThumbnailRenderer;
class GeneExpression;
class GeneExpressionCache;
class GLTextBox;
class GLTextureButton;
class IOStream;
class NetFile;
class SearchController;

// What a cell shows when its thumbnail cannot be had.
extern const char* const NOT_AVAILABLE_STRING;

// One cell of the thumbnail browser: a search result as two lines of text, a slowly spinning point cloud of
// its thumbnail grid, a "Download" button and the find-more and find-similar icons. The thumbnail bytes
// come from the process-wide thumbnail cache or over HTTP; every failure ends in "3D not available" in the
// cell, never in an alert.
//
// The browser owns its cells and gives each itself once; the gene shown belongs to the browser's result
// list. Mouse positions arrive from the browser in GL pixels (y upwards). Display needs the display's
// context current; Reset and the destructor make it current themselves before they free display lists.
// Main thread only.
class ExpressionThumbnailRenderer : public NetEventListener, public MouseListener
{
public:
    ExpressionThumbnailRenderer();
    ~ExpressionThumbnailRenderer() override;
    ExpressionThumbnailRenderer(const ExpressionThumbnailRenderer&) = delete;
    ExpressionThumbnailRenderer& operator=(const ExpressionThumbnailRenderer&) = delete;

    void DownloadComplete(const void* data, unsigned long size) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override;
    void DataReceived(const void* data, unsigned long size) override;
    // Lower-left corner in GL pixels.
    virtual void SetOrigin(int x, int y);
    // Acts the first time only: makes the text boxes and buttons through the browser's display (which needs
    // its context current).
    virtual void SetSceneRenderer(BrainThumbnailRenderer* browser);
    virtual void SetSearchController(SearchController* controller);
    // Shows gene (null: nothing), from the cache at once or after its thumbnail transfer.
    virtual void SetGene(GeneExpression* gene);
    // Aborts the transfer, frees the display lists and forgets the gene and its texts.
    virtual void Reset();
    virtual bool IsActive() const { return m_active; }
    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    // The second click's release: it ends the press as a release does.
    bool OnDoubleClick(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;
    // Reads thumbnail bytes into the gene; a failure shows "3D not available" and is not passed on.
    virtual void LoadGene(IOStream* stream);
    // The gene's grid URL of the thumbnail or the whole data set; empty when its atlas has no template.
    // Throws std::runtime_error without an image-series id, and what the atlas throws for an unknown project.
    virtual std::string GetGeneUrl(bool thumbnail);
    // Draws the cell with the browser's geometry; nothing while no gene is assigned.
    virtual void Display();

    GeneExpression* GetGene() const { return m_gene; }
    int GetOriginX() const { return m_originX; }
    int GetOriginY() const { return m_originY; }
    bool IsLoaded() const { return m_loaded; }
    bool IsDownloadOffered() const { return m_downloadOffered; }
    bool IsTransferRunning() const { return m_transfer != nullptr; }
    GLTextBox* GetStatusBox() const { return m_statusBox.get(); }
    GLTextBox* GetGeneTextBox() const { return m_geneTextBox.get(); }
    GLTextureButton* GetDownloadButton() const { return m_downloadButton.get(); }
    GLTextureButton* GetFindMoreButton() const { return m_findMoreButton.get(); }
    GLTextureButton* GetFindSimilarButton() const { return m_findSimilarButton.get(); }
    unsigned int GetListBase() const { return m_lists.Get(); }

    // The process-wide store of thumbnail bytes (made at start-up, destroyed at exit). Tests may put their
    // own in its place; null restores it.
    static GeneExpressionCache& GetThumbnailCache();
    static void SetThumbnailCache(GeneExpressionCache* cache);
    // Thumbnails added to the cache since its last clean-up (0 to 10).
    static int GetNumGenesAdded();
    // The gene text's lower edge above the cell's origin, in a row of the given pitch; the button row lies
    // 6 pixels and a button's height below it.
    static int TextTop(int rowPitch, int textHeight, int buttonHeight);

private:
    // Where the buttons are drawn and hit, from the browser's geometry.
    struct Layout
    {
        int x = 0;       // left edge of the texts and buttons
        int textY = 0;   // the gene text's lower edge
        int buttonY = 0; // the button row
        int iconY = 0;   // the icons' lower edge
    };
    Layout ComputeLayout() const;
    bool CanFindMore() const;
    bool CanFindSimilar() const;
    bool CanDownload() const;
    bool HitFindMore(int x, int y, const Layout& layout) const;
    bool HitFindSimilar(int x, int y, const Layout& layout) const;
    bool HitDownload(int x, int y, const Layout& layout) const;
    void UpdateGeneText();
    void ShowNotAvailable();
    void StartThumbnail();
    void CacheThumbnail(const void* data, unsigned long size);
    void GenerateDisplayList();
    void FreeDisplayLists();
    void DrawThumbnail();
    void DrawTexts();
    void ClearPress();
    void Invalidate();

    BrainThumbnailRenderer* m_browser = nullptr;
    GeneExpression* m_gene = nullptr;
    int m_originX = 0;
    int m_originY = 0;
    bool m_active = false;
    GLName m_lists;
    std::uint64_t m_expectedBytes = 0;
    std::uint64_t m_receivedBytes = 0;
    std::unique_ptr<GLTextBox> m_statusBox;
    std::unique_ptr<GLTextBox> m_geneTextBox;
    std::unique_ptr<GLTextureButton> m_downloadButton;
    std::unique_ptr<GLTextureButton> m_findMoreButton;
    std::unique_ptr<GLTextureButton> m_findSimilarButton;
    GLTextureButton* m_capturedButton = nullptr;
    NetFile* m_transfer = nullptr;
    SearchController* m_searchController = nullptr;
    bool m_loaded = false;
    bool m_downloadOffered = false;
    // The thumbnail could not even be asked for (no id, no template, no connection).
    bool m_startFailed = false;
    bool m_downloadPressed = false;
    bool m_findMorePressed = false;
    bool m_findSimilarPressed = false;
};
