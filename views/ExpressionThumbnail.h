#pragma once

#include "core/NetEventListener.h"
#include "gl/GLName.h"

#include <cstdint>
#include <memory>
#include <string>

class BrainExpressionModel;
class GLDisplay;
class GLTextBox;
class GeneExpression;
class IOStream;
class NetFile;

// The small spinning point cloud of a graph node: the data set's thumbnail grid, read light onto the
// model's atlas, from this view's own cache or over HTTP. Whatever fails leaves "3D not available" and
// draws nothing. Main thread only; a GL context of the display must be current when it is destroyed.
class ExpressionThumbnail : public NetEventListener
{
public:
    // Takes ownership of dataSet (which may be null) and starts fetching its data.
    ExpressionThumbnail(GLDisplay* display, BrainExpressionModel* model, std::unique_ptr<GeneExpression> dataSet);
    ~ExpressionThumbnail() override;
    ExpressionThumbnail(const ExpressionThumbnail&) = delete;
    ExpressionThumbnail& operator=(const ExpressionThumbnail&) = delete;

    void DownloadComplete(const void* data, unsigned long size) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override;
    void DataReceived(const void* data, unsigned long size) override;

    // Ignores null; replaces (and deletes) the data set shown.
    virtual void SetGene(std::unique_ptr<GeneExpression> dataSet);
    virtual const GeneExpression* GetGene() const { return m_gene.get(); }
    virtual GeneExpression* GetGene() { return m_gene.get(); }
    // Draws the cloud size pixels wide with its top centre near (x, y), turned by angle degrees.
    virtual void DrawAt(int x, int y, float size, float angle);
    // The drawn height for a width of size.
    virtual int GetHeight(float size);
    virtual std::string GetGeneUrl(int kind);
    virtual void LoadGene(IOStream& stream);

    bool IsLoaded() const { return m_loaded; }
    const std::string& GetStatus() const { return m_status; }

private:
    void Fail();
    void AbortTransfer();
    void BuildLists();
    // Whose key the cache files the bytes under: image-series id (type 0), else gene id (type 1); 0 for none.
    unsigned int CacheKey(int& type) const;

    GLDisplay* m_display;
    BrainExpressionModel* m_model;
    std::unique_ptr<GeneExpression> m_gene;
    GLName m_lists;
    std::uint64_t m_expectedBytes = 0;
    std::uint64_t m_receivedBytes = 0;
    std::unique_ptr<GLTextBox> m_statusBox;
    std::string m_status;
    NetFile* m_transfer = nullptr;
    bool m_loaded = false;
};
