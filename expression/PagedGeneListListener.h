#pragma once

class PagedGeneList;

// What changed in a PagedGeneList (the code of PagedGeneListChanged) and what its index means.
enum PagedGeneListChangeCode
{
    LIST_GENE_ADDED = 0,         // the row at index is now present
    LIST_CLEARED = 1,            // emptied; index 0
    LIST_STATUS_CHANGED = 2,     // the status text changed; the page for a page request, else 0
    LIST_CLEARED_FOR_SEARCH = 3, // emptied for a new search; index 0
    LIST_SIZE_KNOWN = 4,         // sized, a query completed or an import ended; index 0
    LIST_PAGE_CHANGED = 5,       // index is the new page
    LIST_QUERY_COMPLETE = 6,     // index 0
    LIST_QUERY_FAILED = 7        // the status holds the message; index 0
};

// Hears the changes of a result list. Main thread only. A listener may delete the list inside the call;
// the list then calls nobody else.
class PagedGeneListListener
{
public:
    virtual ~PagedGeneListListener() = default;
    virtual void PagedGeneListChanged(int code, PagedGeneList* list, int index) = 0;
};
