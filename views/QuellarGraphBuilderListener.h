#pragma once

namespace GeneRelation
{

class QuellarGraphBuilder;

// Hears the progress of a similar-gene graph build. Main thread only.
class QuellarGraphBuilderListener
{
public:
    virtual ~QuellarGraphBuilderListener() = default;
    virtual void GraphBuildUpdate(const char* text) = 0;
    virtual void GraphBuildComplete(QuellarGraphBuilder* builder) = 0;
    // The builder may be deleted once this call has returned, not inside it: the list that reports the error
    // is still on the stack.
    virtual void GraphBuildError(QuellarGraphBuilder* builder, const char* text) = 0;
};

} // namespace GeneRelation
