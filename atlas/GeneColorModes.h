#pragma once

#include "atlas/Colormap.h"

#include <string>
#include <vector>

class Atlas;

// The ways an atlas lets gene expression be coloured, read from the atlas folder's "Colormaps" files
// when it is constructed. It owns the colormaps that its modes point to.
class GeneColorModes
{
public:
    // The expression model's colour-mode number: 0 "constant", 1 "atlas", 2 "expression", 3 "jet",
    // 4 "redgreen", 5 "bluered", 6 "ryb"; NO_MODE stands for none.
    using GeneColorMode = int;
    static constexpr GeneColorMode NO_MODE = 7;

    struct ModeInfo
    {
        GeneColorMode mode;
        std::string name;
        bool zScore;
        Colormap* colormap;
    };

    // Throws the colormap's std::runtime_error for a present file that cannot be read.
    explicit GeneColorModes(Atlas* atlas);
    virtual ~GeneColorModes() = default;

    GeneColorModes(const GeneColorModes&) = delete;
    GeneColorModes& operator=(const GeneColorModes&) = delete;

    // Null unless the mode exists and its colormap is valid.
    const Colormap* GetColormap(GeneColorMode mode) const;
    const Colormap* GetColormap(const std::string& name) const;
    const ModeInfo* GetModeInfo(const std::string& name) const;
    bool GetZScore(GeneColorMode mode) const;
    // NO_MODE when no mode has that name (names are case-sensitive).
    GeneColorMode GetMode(const std::string& name) const;
    std::string GetName(GeneColorMode mode) const;
    bool IsValidMode(int mode) const;
    bool IsValidMode(const std::string& name) const;

    const Colormap* GetExpressionColormap() const { return &m_expressionColormap; }
    const Colormap* GetJetColormap() const { return &m_jetColormap; }
    const Colormap* GetGreenRedColormap() const { return &m_redGreenColormap; }
    const Colormap* GetBlueRedColormap() const { return &m_blueRedColormap; }
    const Colormap* GetRedYellowBlueGreenColormap() const { return &m_redYellowBlueGreenColormap; }

private:
    const ModeInfo* FindMode(GeneColorMode mode) const;
    static const Colormap* Usable(const ModeInfo* info);

    std::vector<ModeInfo> m_modes;
    Colormap m_expressionColormap;
    Colormap m_jetColormap;
    Colormap m_redGreenColormap;
    Colormap m_blueRedColormap;
    Colormap m_redYellowBlueGreenColormap;
};
