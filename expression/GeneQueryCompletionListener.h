#pragma once

#include <string>

class GeneQuery;

// Hears how one page request of a GeneQuery ends. Main thread only. A listener may destroy the query (or
// whatever owns it) inside any of these calls: the query touches nothing of its own after calling out.
class GeneQueryCompletionListener
{
public:
    virtual ~GeneQueryCompletionListener() = default;

    // The server answered the page request (headers arrived).
    virtual void GeneQueryResponseReceived(const GeneQuery* query) = 0;
    // The answer was read to its end.
    virtual void GeneQueryComplete(const GeneQuery* query) = 0;
    // The request could not be sent, its transfer failed or its answer could not be read.
    virtual void GeneQueryError(const GeneQuery* query, const std::string& message) = 0;
};
