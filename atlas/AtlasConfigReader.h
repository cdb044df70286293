#pragma once

#include <map>
#include <string>
#include <vector>

#include "atlas/AtlasURLs.h"
#include "core/XMLElementHandler.h"
#include "core/XMLParser.h"

// Reads an atlas's "Info.xml" in its constructor: identity, display defaults, coordinate spaces and
// the per-project URL templates. Every problem ends in an exception out of the constructor.
class AtlasConfigReader : public XMLElementHandler
{
public:
    // One coordinate space as Info.xml describes it.
    struct AtlasSpaceInfo
    {
        AtlasSpaceInfo() { Reset(); }

        void Reset();
        // Throws when a grid lacks a size or spacing; fills an absent mesh resolution from the atlas grid.
        void CheckComplete();

        std::string name;
        int id;
        bool invert;
        int viewDimensions[3];
        int atlasDimensions[3];
        int origin[3];
        float viewResolution[3];
        float atlasResolution[3];
        float viewOffset[3];
        float atlasOffset[3];
        float meshResolution[3];
        float transform[16];
        float mniTransform[16];
    };

    explicit AtlasConfigReader(const char* path);
    ~AtlasConfigReader() override = default;

    AtlasConfigReader(const AtlasConfigReader&) = delete;
    AtlasConfigReader& operator=(const AtlasConfigReader&) = delete;

    void StartElement(const char* name, const char** attributes) override;
    void EndElement(const char* name) override;
    void DataHandler(const char* text, int length) override;

    const std::string& GetName() const { return m_name; }
    const std::string& GetProject() const { return m_project; }
    const std::string& GetAttribution() const { return m_attribution; }
    unsigned int GetAtlasId() const { return m_atlasId; }
    int GetVersion() const { return m_version; }
    int GetMinAppVersion() const { return m_minAppVersion; }
    const unsigned int* GetPlaneMapping() const { return m_planeMapping; }
    const float* GetDefaultRotation() const { return m_defaultRotation; }
    const float* GetCompassTransform() const { return m_compassTransform; }
    const std::string& GetDefaultColormapName() const { return m_defaultColormapName; }
    int GetDefaultOntologyDisplayLevel() const { return m_defaultOntologyDisplayLevel; }
    const std::vector<AtlasSpaceInfo>& GetSpaces() const { return m_spaces; }
    const std::vector<AtlasURLs>& GetUrls() const { return m_urls; }

protected:
    // Reads 16 blank-separated numbers from the element text; false when fewer are there.
    virtual bool ParseMatrix(float* out);
    virtual void ResetAtlasUrls();

private:
    enum State
    {
        NoVolume = 0,
        ViewVolume = 1,
        TissueVolume = 2,
        UrlBlock = 3
    };

    void StartAtlas(const char** attributes);
    void StartSpace(const char** attributes);
    void ReadSize(const char** attributes);
    void ReadPixelSpacing(const char** attributes);
    void ReadOrigin(const char** attributes);
    void ReadOffset(const char** attributes);
    void ReadMeshResolution(const char** attributes);
    void ReadPlaneMapping(const char** attributes);
    void StartUrls(const char** attributes);
    void AddHost(const char** attributes);
    void EndMeshResolution();
    void EndDefaultRotation();
    void EndDefaultOntologyDisplayLevel();
    void EndUrl(std::string AtlasURLs::*field);
    std::string ExpandTemplate(const std::string& text) const;

    XMLParser m_parser;
    std::string m_name;
    std::string m_project;
    std::string m_attribution;
    unsigned int m_atlasId = 0;
    int m_version = 0;
    int m_minAppVersion = 0;
    unsigned int m_planeMapping[3] = {0, 1, 2};
    float m_defaultRotation[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float m_compassTransform[16];
    std::string m_defaultColormapName;
    int m_defaultOntologyDisplayLevel = 0;
    std::vector<AtlasSpaceInfo> m_spaces;
    std::vector<AtlasURLs> m_urls;

    std::string m_text;
    AtlasSpaceInfo m_space;
    AtlasURLs m_currentUrls;
    std::map<std::string, std::string> m_hosts;
    std::string m_hostKey;
    State m_state = NoVolume;
};
