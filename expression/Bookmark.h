#pragma once

#include "atlas/GeneralAnnotationSelector.h"
#include "core/Image3dPlane.h"
#include "expression/Range.h"

#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

class Atlas;
class AtlasSpace;
class BrainExpressionModel;
class BrainOntology;

// A named snapshot of chosen parts of a BrainExpressionModel's state; the flags say which parts. The
// structure selectors index the ontology of the bookmark's own atlas, which the bookmark keeps alive; the
// structures that ontology lacked when the bookmark was read are kept as (database id, abbreviation) so
// that they are written back unchanged. Bookmarks of every atlas share one file, so a bookmark restored
// into another atlas's model matches its structures by database id.
class Bookmark
{
public:
    using Selector = GeneralAnnotationSelector<unsigned long long>;
    using StructureRef = std::pair<unsigned long, std::string>;

    enum Flags
    {
        EXPRESSION_FILTER = 1,
        ATLAS_STRUCTURES = 2,
        VIEW_ANGLE = 4,
        ZOOM = 8,
        MPR_SLICES = 16,
        CLIPPING_PLANES = 32,
        THRESHOLDS = 64,
        PROBE = 128,
        EVERYTHING = 65535
    };

    // The gene colour mode of a bookmark that did not capture one: no model accepts it.
    static constexpr int NO_GENE_COLOR_MODE = -1;

    Bookmark();
    Bookmark(const std::string& name, int flags);
    Bookmark(const std::string& name, int flags, const BrainExpressionModel* model);
    virtual ~Bookmark() = default;
    Bookmark(const Bookmark&) = default;
    Bookmark& operator=(const Bookmark&) = default;

    // Resets every captured part; the name and flags too when asked.
    virtual void Clear(bool nameAndFlags);
    virtual const std::string& GetName() const { return m_name; }
    // Applies the flagged parts to the model, each setter notifying.
    virtual void Restore(BrainExpressionModel* model) const;
    // One Bookmark element, its lines indented by indent spaces. ontology is the one the selectors index
    // (the bookmark's own atlas's); null writes only the structures kept by id.
    virtual void SaveXML(std::ostream& out, const BrainOntology* ontology, int indent) const;

    void SetName(const std::string& name) { m_name = name; }
    int GetFlags() const { return m_flags; }
    void SetFlags(int flags) { m_flags = flags; }
    void AddFlags(int flags) { m_flags |= flags; }

    // The atlas whose ontology the selectors index; null for a bookmark made without one.
    const std::shared_ptr<Atlas>& GetAtlas() const { return m_atlas; }
    void SetAtlas(std::shared_ptr<Atlas> atlas) { m_atlas = std::move(atlas); }
    // The bookmark's selectors resized to the atlas's label count (all clear).
    void ResetSelectors();

    const Selector& GetExpressionSelector() const { return m_expressionSelector; }
    // A selector set anew replaces the structures kept from a file.
    void SetExpressionSelector(const Selector& selector);
    const Selector& GetStructureSelector() const { return m_structureSelector; }
    void SetStructureSelector(const Selector& selector);
    const std::vector<StructureRef>& GetUnknownExpressionStructures() const { return m_unknownExpressionStructures; }
    const std::vector<StructureRef>& GetUnknownStructures() const { return m_unknownStructures; }
    void SetUnknownExpressionStructures(std::vector<StructureRef> refs)
    {
        m_unknownExpressionStructures = std::move(refs);
    }
    void SetUnknownStructures(std::vector<StructureRef> refs) { m_unknownStructures = std::move(refs); }
    // Every structure of the file's element in file order, written back as it was read while the selector
    // is not set anew: the order and abbreviations of another atlas's ontology are not this one's.
    void SetReadExpressionStructures(std::vector<StructureRef> refs) { m_readExpressionStructures = std::move(refs); }
    void SetReadStructures(std::vector<StructureRef> refs) { m_readStructures = std::move(refs); }
    // The text as an attribute value of the bookmarks file: markup characters as entities, tab, line feed and
    // carriage return as character references (a reader turns them into spaces), and every byte that is no
    // character XML 1.0 allows left out (one makes the whole file unreadable).
    static std::string XMLAttributeText(const std::string& text);
    // The selectors in terms of the model's ontology: structures of another atlas match by database id.
    Selector GetExpressionSelectorFor(const BrainExpressionModel& model) const
    {
        return ForModel(m_expressionSelector, m_unknownExpressionStructures, model);
    }
    Selector GetStructureSelectorFor(const BrainExpressionModel& model) const
    {
        return ForModel(m_structureSelector, m_unknownStructures, model);
    }

    // -1 when the plane has no location.
    float GetMPRSliceLocation(Image3dPlane::Plane plane) const { return m_mprSliceLocation[Checked(plane)]; }
    bool GetMPRPlaneVisible(Image3dPlane::Plane plane) const { return m_mprPlaneVisible[Checked(plane)]; }
    void SetMPRSlice(Image3dPlane::Plane plane, bool visible, float location);
    // low selects the low side of the plane's pair.
    float GetCuttingPlaneLocation(Image3dPlane::Plane plane, bool low) const
    {
        return m_cuttingPlanes[Checked(plane)][low ? 0 : 1];
    }
    void SetCuttingPlane(Image3dPlane::Plane plane, float low, float high);

    const float* GetRotation() const { return m_rotation; }
    void SetRotation(const float* quaternion);
    const float* GetOrigin() const { return m_origin; }
    void SetOrigin(const float* origin);
    float GetZoom() const { return m_zoom; }
    void SetZoom(float zoom) { m_zoom = zoom; }

    const Range& GetExpressionLevelThreshold() const { return m_levelThreshold; }
    void SetExpressionLevelThreshold(const Range& range) { m_levelThreshold = range; }
    const Range& GetExpressionDensityThreshold() const { return m_densityThreshold; }
    void SetExpressionDensityThreshold(const Range& range) { m_densityThreshold = range; }
    const Range& GetExpressionWindow() const { return m_expressionWindow; }
    void SetExpressionWindow(const Range& range) { m_expressionWindow = range; }
    int GetGeneColorMode() const { return m_geneColorMode; }

    const float* GetProbeLocation() const { return m_probeLocation; }
    AtlasSpace* GetProbeAtlasSpace() const { return m_probeAtlasSpace; }

private:
    static int Checked(Image3dPlane::Plane plane);
    void Capture(const BrainExpressionModel& model);
    // The selector in terms of the model's ontology: itself when the atlases agree, else matched by
    // database id.
    Selector ForModel(const Selector& selector, const std::vector<StructureRef>& unknown,
                      const BrainExpressionModel& model) const;
    void RestorePlanes(BrainExpressionModel& model) const;
    void RestoreThresholds(BrainExpressionModel& model) const;

    std::string m_name;
    int m_flags = 0;
    std::shared_ptr<Atlas> m_atlas;
    Selector m_expressionSelector{0, false};
    Selector m_structureSelector{0, false};
    std::vector<StructureRef> m_unknownExpressionStructures;
    std::vector<StructureRef> m_unknownStructures;
    std::vector<StructureRef> m_readExpressionStructures;
    std::vector<StructureRef> m_readStructures;
    float m_mprSliceLocation[3] = {-1.0f, -1.0f, -1.0f};
    bool m_mprPlaneVisible[3] = {false, false, false};
    float m_cuttingPlanes[3][2] = {{0.0f, -1.0f}, {0.0f, -1.0f}, {0.0f, -1.0f}};
    float m_rotation[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float m_origin[3] = {0.0f, 0.0f, 0.0f};
    Range m_levelThreshold{0.0f, -1.0f};
    Range m_densityThreshold{0.0f, -1.0f};
    Range m_expressionWindow{0.0f, -1.0f};
    int m_geneColorMode = NO_GENE_COLOR_MODE;
    float m_probeLocation[3] = {-1.0f, -1.0f, -1.0f};
    AtlasSpace* m_probeAtlasSpace = nullptr;
    float m_zoom = 40.0f;
};
