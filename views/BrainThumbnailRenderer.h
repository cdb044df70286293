#pragma once

#include "expression/PagedGeneListListener.h"
#include "gl/GLInteractiveRenderer.h"

#include <memory>
#include <vector>

class BrainExpressionModel;
class GLDisplay;
class GLTextBox;
class PagedGeneList;
class SearchController;
class TabControlRenderer;

// The result tab of a search: for now the list's status and one line per entry of the current page under
// the document's tab bar, with Page Up and Page Down turning pages. The display, list, model, tab bar and
// search controller are not owned and outlive the renderer; the text boxes are. Main thread only.
class BrainThumbnailRenderer : public GLInteractiveRenderer, public PagedGeneListListener
{
public:
    BrainThumbnailRenderer(GLDisplay* display, PagedGeneList* list, BrainExpressionModel* model,
                           TabControlRenderer* tabs, SearchController* searchController);
    ~BrainThumbnailRenderer() override;
    BrainThumbnailRenderer(const BrainThumbnailRenderer&) = delete;
    BrainThumbnailRenderer& operator=(const BrainThumbnailRenderer&) = delete;

    void Initialize() override;
    void Display() override;
    void Reshape(int width, int height) override;
    void SetActive(bool active) override { m_active = active; }
    void ResetCursorRects() override {}
    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;
    bool OnKeyDown(unsigned int, int, unsigned int) override { return false; }
    bool OnSpecialKeyDown(int code, int flags, unsigned int time) override;
    void PagedGeneListChanged(int code, PagedGeneList* list, int index) override;

    // The lines shown now: the status, then one per entry ("name (label)").
    std::vector<std::string> GetLines() const;
    bool IsActive() const { return m_active; }

private:
    void UpdateText();

    GLDisplay* m_display;
    PagedGeneList* m_list;
    TabControlRenderer* m_tabs;
    std::vector<std::unique_ptr<GLTextBox>> m_lines;
    MouseListener* m_capture = nullptr;
    int m_width = 0;
    int m_height = 0;
    bool m_active = false;
};
