#pragma once

#include "expression/BrainExpressionModelListener.h"
#include "gl/GLInteractiveRenderer.h"
#include "gl/TimerListener.h"
#include "views/QuellarGraphBuilderListener.h"
#include "views/RelationGraph.h"

#include <memory>
#include <vector>

class ExpressionThumbnail;
class GLDisplay;
class GLSphere;
class GLTextBox;
class SearchController;
class TabControlRenderer;

// The content of a graph tab: a gene relation graph, built by similar-gene searches or imported from a
// table, drawn as green spheres with their symbols joined by grey lines, the larger ones with a spinning
// thumbnail. It pans and zooms; a click on a node starts the next search. Main thread only.
class GeneRelationGraphRenderer : public GLInteractiveRenderer,
                                  public BrainExpressionModelListener,
                                  public TimerListener,
                                  public GeneRelation::QuellarGraphBuilderListener
{
public:
    // One drawn graph node. Lives no longer than the graph node it shows.
    struct Node
    {
        Node(GLDisplay* display, BrainExpressionModel* model, const GeneRelation::GraphNode* graphNode,
             bool withThumbnail);
        ~Node();
        std::unique_ptr<ExpressionThumbnail> thumbnail;
        const GeneRelation::GraphNode* graphNode;
        std::unique_ptr<GLTextBox> label;
    };

    static constexpr float MIN_ZOOM = 1.0f;
    static constexpr float MAX_ZOOM = 2.0f;
    static constexpr float ZOOM_STEP = 0.2f;

    // None of the pointers is owned; the tab bar and the search controller may be null.
    GeneRelationGraphRenderer(GLDisplay* display, BrainExpressionModel* model, TabControlRenderer* tabBar,
                              SearchController* searchController);
    ~GeneRelationGraphRenderer() override;
    GeneRelationGraphRenderer(const GeneRelationGraphRenderer&) = delete;
    GeneRelationGraphRenderer& operator=(const GeneRelationGraphRenderer&) = delete;

    void Initialize() override;
    void Display() override;
    void Reshape(int width, int height) override;
    void SetActive(bool active) override;
    void ResetCursorRects() override {}
    // Builds a graph around the image series seriesId by similar-gene searches; the tab is named title.
    virtual void LoadQuellar(const char* title, const char* symbol, int seriesId, int domainId, int planeRestriction);
    // Reads a relation table into a graph laid out for drawing. Throws std::runtime_error when the file cannot
    // be read or holds no relation: a table that gives nothing must not pass for an empty graph.
    static std::unique_ptr<GeneRelation::RelationGraph> ReadFile(const char* path);
    // Shows a graph that ReadFile gave, in place of this view's; the tab is named after the file.
    virtual void ShowFile(const char* path, GeneRelation::RelationGraph& graph);
    // ReadFile, then ShowFile; a file that cannot be shown leaves the view and its graph as they were.
    virtual void LoadFile(const char* path);
    void ModelChanged(int code, BrainExpressionModel* model, int argument) override;
    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    // A release that arrives as the second click of a double click.
    bool OnDoubleClick(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;
    bool OnMouseWheel(int x, int y, int flags, int delta, unsigned int time) override;
    bool OnKeyDown(unsigned int key, int flags, unsigned int time) override;
    void TimerElapsed() override;
    virtual void Animate(bool animate);
    void GraphBuildUpdate(const char* text) override;
    void GraphBuildComplete(GeneRelation::QuellarGraphBuilder* builder) override;
    void GraphBuildError(GeneRelation::QuellarGraphBuilder* builder, const char* text) override;
    virtual void InitializeNodes();
    virtual void DeleteNodes();

    bool IsReady() const { return m_ready; }
    float GetZoom() const { return m_zoom; }
    float GetPanX() const { return m_panX; }
    float GetPanY() const { return m_panY; }
    float GetAngle() const { return m_angle; }
    float GetClickedX() const { return m_clickedX; }
    float GetClickedY() const { return m_clickedY; }
    bool IsAnimating() const { return m_animating; }
    const GeneRelation::RelationGraph& GetGraph() const { return m_graph; }
    GeneRelation::RelationGraph& GetGraph() { return m_graph; }
    const std::vector<std::unique_ptr<Node>>& GetNodes() const { return m_nodes; }
    const GeneRelation::QuellarGraphBuilder* GetBuilder() const { return m_builder.get(); }
    // Whether the node's label gives way to its larger nearest neighbour.
    bool IsLabelHidden(const Node& node) const;
    // The drawn centre of a node, in drawing coordinates.
    void DrawnCentre(const GeneRelation::GraphNode& node, float& cx, float& cy) const;

private:
    void SetStatus(const std::string& text);
    void RedrawNow();
    // Forgets the graph, its drawn nodes and any build, as every new load starts.
    void BeginLoad();
    bool ClickNode(int button, int x, int y);
    const Node* NodeAt(float x, float y) const;
    void SearchFrom(int button, const GeneRelation::GraphNode& node);
    void DrawEdges() const;
    void DrawNodes();
    void DrawLabels();
    int Extent() const;
    float NodeSize(const Node& node) const;
    bool EndPress(int button, int x, int y, int flags, unsigned int time);

    std::vector<std::unique_ptr<Node>> m_nodes;
    BrainExpressionModel* m_model;
    SearchController* m_searchController;
    GLDisplay* m_display;
    std::unique_ptr<GLTextBox> m_statusBox;
    std::string m_status;
    int m_width = 0;
    int m_height = 0;
    bool m_animating = false;
    bool m_userStopped = false;
    bool m_ready = false;
    float m_angle = 0.5f;
    float m_zoom = 1.0f;
    float m_panX = 0.0f;
    float m_panY = 0.0f;
    // The part of the pan that centres the layout's square at the last reshape.
    float m_centreX = 0.0f;
    float m_centreY = 0.0f;
    int m_dragX = -1;
    int m_dragY = -1;
    MouseListener* m_capturedListener = nullptr;
    TabControlRenderer* m_tabBar;
    GeneRelation::RelationGraph m_graph;
    std::unique_ptr<GeneRelation::QuellarGraphBuilder> m_builder;
    // A builder that reported an error, kept until its list's callback is surely over.
    std::unique_ptr<GeneRelation::QuellarGraphBuilder> m_failedBuilder;
    std::unique_ptr<GLSphere> m_sphere;
    float m_clickedX = -1.0f;
    float m_clickedY = -1.0f;
    // The red marker shows the last click; before one there is no point to mark.
    bool m_hasClickedPoint = false;
};
