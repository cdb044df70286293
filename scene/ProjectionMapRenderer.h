#pragma once

#include "core/JSONElementHandler.h"
#include "expression/ProjectionStreamLines.h"
#include "scene/KestRenderer.h"

#include <string>
#include <vector>

class AnnotationLabel;
class AtlasSpace;
class IOStream;

// The projection map of the probe's position: whenever the probe moves to another grid position the
// layer asks the data server which projection experiments reach that seed and draws each as a stream
// line coloured by the structure at its end, with a ball there sized by the experiment's density. The
// picking code asks which ball a ray hits, to fetch that experiment. At construction the layer also reads
// the afferent seed experiment, a local file of injection sites and their lines in the space's
// "Afferents" folder.
//
// Unlike the other probe layers it draws no volume: its base is built empty. Failures of a reply are
// dropped (the line list is emptied); a failing afferent file throws std::runtime_error out of the
// constructor and SetAfferentSeedExperiment. Main thread only.
class ProjectionMapRenderer : public KestRenderer, public JSONElementHandler
{
public:
    struct InjectionStreamLine
    {
        ProjectionStreamLines::Line points; // view-grid units, first to last
        const AnnotationLabel* structure = nullptr;
        unsigned int id = 0;
        float density = 0.0f;
    };
    struct InjectionSite
    {
        std::vector<InjectionStreamLine> lines;
        unsigned int values[2] = {0, 0}; // kept as read; nothing interprets them
    };

    static constexpr unsigned int DEFAULT_AFFERENT_EXPERIMENT = 100140756;

    explicit ProjectionMapRenderer(BrainSceneView* view);
    ~ProjectionMapRenderer() override;

    void DownloadComplete(const void* data, unsigned long size) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string& mimeType, unsigned long length) override;
    void DataReceived(const void* data, unsigned long size) override;
    void Display() override;
    float GetDepth(int x, int y) override;
    void PositionChanged(const float* position) override;
    void SetTransferFunction(int low, int high, int lowOut, int highOut) override;
    bool FindLocation(const float* position, unsigned int* location) override;
    void LoadVolume() override;

    // The distance along the ray to the nearest end ball it hits (the largest float for none); line
    // receives that line or null.
    virtual float HitTest(const float* origin, const float* direction, const InjectionStreamLine*& line);
    // Reads the afferent file of that experiment into the site list; nothing changes without a file.
    virtual void SetAfferentSeedExperiment(unsigned int experimentId);

    bool StartMap() override;
    bool EndMap() override;
    bool StartArray() override;
    bool EndArray() override;
    bool Value(const char* text, unsigned int length) override;

    // Parses a projection-map reply into the line list; on failure empties it and throws.
    virtual void LoadData(const char* data, unsigned int size);

    const std::vector<InjectionStreamLine>& GetLines() const { return m_lines; }
    const std::vector<InjectionSite>& GetSites() const { return m_sites; }
    bool GetAfferentLoaded() const { return m_afferentLoaded; }
    // The afferent file of an experiment, in this layer's space or in the one given.
    std::string AfferentFile(unsigned int experimentId) const;
    static std::string AfferentFile(const AtlasSpace& space, unsigned int experimentId);
    // The end ball's size for a line density.
    static float BallSize(float density);

protected:
    // A layer of no view on a grid of that resolution, which only reads replies and afferent files: its
    // lines get no end structure and nothing is redrawn.
    explicit ProjectionMapRenderer(const float* gridResolution);
    void ReadSites(IOStream& stream);

private:
    InjectionStreamLine ReadLine(IOStream& stream);
    // Normals, end point values and the structure at the end of each line.
    void CompleteLines(std::vector<InjectionStreamLine>& lines) const;

    std::vector<InjectionStreamLine> m_lines;
    std::vector<InjectionSite> m_sites;
    bool m_afferentLoaded = false;
    bool m_inPath = false;
    bool m_inCoord = false;
    bool m_inStructures = false;
    std::vector<int> m_coordinates;
    ProjectionStreamLines::Point3d m_currentPoint;
};
