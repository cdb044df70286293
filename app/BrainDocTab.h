#pragma once

#include "app/TabType.h"

#include <memory>

class BrainExpressionModel;
class GLDisplay;
class GLInteractiveRenderer;
class PagedGeneList;
class SearchController;
class TabControlRenderer;

// What the tab bar holds as the user data of one result tab: its kind, its renderer and, for list kinds,
// its paged result list. The renderer goes before the list it shows.
class BrainDocTab
{
public:
    // Throws what making the renderer throws, leaving nothing behind.
    BrainDocTab(GLDisplay* display, BrainExpressionModel* model, TabControlRenderer* tabs,
                SearchController* searchController, TabType type);
    virtual ~BrainDocTab();
    BrainDocTab(const BrainDocTab&) = delete;
    BrainDocTab& operator=(const BrainDocTab&) = delete;

    std::unique_ptr<PagedGeneList> list;
    std::unique_ptr<GLInteractiveRenderer> renderer;
    TabType type;
};
