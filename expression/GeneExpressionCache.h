#pragma once

class MemoryStream;

// What an id of a cached data set counts.
enum GeneIdType
{
    IMAGE_SERIES_ID = 0,
    GENE_ID = 1
};

// A store of downloaded data-set bytes keyed by id and id type. The int argument is not used (callers
// pass 0). Main thread only.
class GeneExpressionCache
{
public:
    virtual ~GeneExpressionCache() = default;

    // Keeps a copy of the bytes, replacing what the id and type held.
    virtual void AddGene(unsigned int id, int, GeneIdType type, const unsigned char* data, unsigned long size) = 0;
    // Resizes out to the bytes of the id and type and copies them in from its start; false (out untouched)
    // when none are held.
    virtual bool GetGene(unsigned int id, int, GeneIdType type, MemoryStream& out) = 0;
    virtual void RemoveGene(unsigned int id, int, GeneIdType type) = 0;
    virtual void CleanCache() = 0;
};
