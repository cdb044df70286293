#pragma once

#include "gl/GLInteractiveRenderer.h"

#include <memory>
#include <string>

class BrainExpressionModel;
class GLDisplay;
class GLTextBox;
class SearchController;
class TabControlRenderer;

// The graph tab of a document: for now it names what it was asked to lay out (a relation file or the
// similar-data-set graph of a seed) under the document's tab bar. Display, model, tab bar and search
// controller are not owned and outlive the renderer. Main thread only.
class GeneRelationGraphRenderer : public GLInteractiveRenderer
{
public:
    GeneRelationGraphRenderer(GLDisplay* display, BrainExpressionModel* model, TabControlRenderer* tabs,
                              SearchController* searchController);
    ~GeneRelationGraphRenderer() override;
    GeneRelationGraphRenderer(const GeneRelationGraphRenderer&) = delete;
    GeneRelationGraphRenderer& operator=(const GeneRelationGraphRenderer&) = delete;

    void Initialize() override;
    void Display() override;
    void Reshape(int width, int height) override;
    void SetActive(bool active) override { m_active = active; }
    void ResetCursorRects() override {}
    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;
    bool OnKeyDown(unsigned int, int, unsigned int) override { return false; }

    virtual void LoadQuellar(const char* title, const char* name, int seriesId, int domainId, int planeRestriction);
    virtual void LoadFile(const char* path);
    const std::string& GetTitle() const { return m_title; }

private:
    void SetTitle(const std::string& title);

    GLDisplay* m_display;
    TabControlRenderer* m_tabs;
    std::unique_ptr<GLTextBox> m_titleBox;
    std::string m_title;
    MouseListener* m_capture = nullptr;
    int m_width = 0;
    int m_height = 0;
    bool m_active = false;
};
