#include "atlas/GeneColorModes.h"

#include "atlas/Atlas.h"

#include <boost/filesystem/operations.hpp>

namespace
{

// Loads the file when it is a regular file; answers whether it did.
bool LoadIfPresent(Colormap& colormap, const boost::filesystem::path& path)
{
    if (!boost::filesystem::is_regular_file(path))
        return false;
    colormap.Load(path.string().c_str());
    return true;
}

} // namespace

GeneColorModes::GeneColorModes(Atlas* atlas)
{
    const boost::filesystem::path folder = boost::filesystem::path(atlas->GetPath()) / "Colormaps";

    // A jet file without a single colour would leave the default colour mode without a table.
    if (!LoadIfPresent(m_jetColormap, folder / "Jet.map") || !m_jetColormap.valid)
    {
        m_jetColormap = Colormap();
        m_jetColormap.MakeJet();
    }
    LoadIfPresent(m_expressionColormap, folder / "Expression.map");
    LoadIfPresent(m_redGreenColormap, folder / "rg.map");
    LoadIfPresent(m_blueRedColormap, folder / "bluered.map");
    LoadIfPresent(m_redYellowBlueGreenColormap, folder / "ryb.map");

    m_modes.push_back({0, "constant", false, nullptr});
    m_modes.push_back({1, "atlas", false, nullptr});
    m_modes.push_back({2, "expression", false, &m_expressionColormap});
    m_modes.push_back({3, "jet", false, &m_jetColormap});
    if (m_redGreenColormap.valid)
        m_modes.push_back({4, "redgreen", true, &m_redGreenColormap});
    if (m_blueRedColormap.valid)
        m_modes.push_back({5, "bluered", true, &m_blueRedColormap});
    if (m_redYellowBlueGreenColormap.valid)
        m_modes.push_back({6, "ryb", true, &m_redYellowBlueGreenColormap});
}

const GeneColorModes::ModeInfo* GeneColorModes::FindMode(GeneColorMode mode) const
{
    for (const ModeInfo& info : m_modes)
        if (info.mode == mode)
            return &info;
    return nullptr;
}

const Colormap* GeneColorModes::Usable(const ModeInfo* info)
{
    return info && info->colormap && info->colormap->valid ? info->colormap : nullptr;
}

const Colormap* GeneColorModes::GetColormap(GeneColorMode mode) const
{
    return Usable(FindMode(mode));
}

const Colormap* GeneColorModes::GetColormap(const std::string& name) const
{
    return Usable(GetModeInfo(name));
}

const GeneColorModes::ModeInfo* GeneColorModes::GetModeInfo(const std::string& name) const
{
    for (const ModeInfo& info : m_modes)
        if (info.name == name)
            return &info;
    return nullptr;
}

bool GeneColorModes::GetZScore(GeneColorMode mode) const
{
    const ModeInfo* info = FindMode(mode);
    return info && info->zScore;
}

GeneColorModes::GeneColorMode GeneColorModes::GetMode(const std::string& name) const
{
    const ModeInfo* info = GetModeInfo(name);
    return info ? info->mode : NO_MODE;
}

std::string GeneColorModes::GetName(GeneColorMode mode) const
{
    const ModeInfo* info = FindMode(mode);
    return info ? info->name : std::string();
}

bool GeneColorModes::IsValidMode(int mode) const
{
    return FindMode(mode) != nullptr;
}

bool GeneColorModes::IsValidMode(const std::string& name) const
{
    return GetModeInfo(name) != nullptr;
}
