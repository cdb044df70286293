#pragma once

// The kind of a result tab.
enum TabType : int
{
    kTabList = 0,         // a text, similar-data-set or differential search
    kTabSeriesSearch = 1, // a search by data-set id
    kTabDirectedGraph = 2 // a gene relation graph
};
