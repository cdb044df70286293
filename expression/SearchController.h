#pragma once

// What a document offers to the parts of the program that ask for searches and downloads: the URL-request
// parser, the result thumbnails and the scene. Every call returns at once; results and failures arrive
// through the document's own lists and downloads. Main thread only.
class SearchController
{
public:
    virtual ~SearchController() = default;

    // A search by gene term into the image-series search tab (seriesSearch) or the list tab.
    virtual void SearchForGene(const char* listName, const char* projectCode, const char* term, bool seriesSearch) = 0;
    // Every series of one gene, into the image-series search tab; the list is named geneName + " (all)".
    virtual void SearchForGeneById(const char* geneName, const char* projectCode, int geneId) = 0;
    // Data sets similar to the image series seedId, over the whole brain, into the list tab.
    virtual void SearchForSimilarGenes(const char* name, const char* projectCode, int seedId) = 0;
    // Downloads one data set into the open model; rgb (three floats in [0, 1]) or null for the model's
    // next palette colour.
    virtual void FetchExpressionData(const char* url, const float* rgb) = 0;
    // Downloads microarray data for a donor, a well and a structure (0 for each not given).
    virtual void FetchMicroarrayData(const char* url, unsigned int donorId, unsigned int wellId,
                                     unsigned int structureId) = 0;
    // Data-set and microarray downloads still running.
    virtual int GetNumQueuedExpressionDownloads() = 0;
};
