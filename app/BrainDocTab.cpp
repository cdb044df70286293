#include "app/BrainDocTab.h"

#include "expression/PagedGeneList.h"
#include "views/BrainThumbnailRenderer.h"
#include "views/GeneRelationGraphRenderer.h"

namespace
{
constexpr int kPageSize = 10;
}

BrainDocTab::BrainDocTab(GLDisplay* display, BrainExpressionModel* model, TabControlRenderer* tabs,
                         SearchController* searchController, TabType tabType)
    : type(tabType)
{
    if (type == kTabDirectedGraph)
    {
        renderer = std::make_unique<GeneRelationGraphRenderer>(display, model, tabs, searchController);
        return;
    }
    list = std::make_unique<PagedGeneList>(kPageSize);
    renderer = std::make_unique<BrainThumbnailRenderer>(display, list.get(), model, tabs, searchController);
}

BrainDocTab::~BrainDocTab()
{
    renderer.reset();
    list.reset();
}
