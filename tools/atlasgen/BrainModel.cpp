#include "BrainModel.h"

#include "Noise.h"

#include <cmath>

namespace atlasgen
{

namespace
{

struct Entry
{
    const char* abbreviation;
    const char* name;
    const char* parent;
    unsigned int rgb;
    bool coarse;
    int nissl;
    unsigned int databaseId; // 0: assigned from the row
};

// Parents come before their children. Names are plain anatomical terms; the atlases are fictional.
const Entry kTable[] = {
    {"Br", "Brain", nullptr, 0xb0b0b0, true, 120, 0},
    {"CH", "Cerebrum", "Br", 0xb0f0ff, true, 140, 0},
    {"Cx", "Cerebral cortex", "CH", 0x70ff70, true, 170, 0},
    {"Iso", "Isocortex", "Cx", 0x70ff71, false, 170, 0},
    {"FRA", "Frontal area", "Iso", 0x268f45, false, 175, 0},
    {"MOA", "Motor area", "Iso", 0x1f9d5a, false, 172, 0},
    {"SSA", "Somatosensory area", "Iso", 0x188064, false, 178, 0},
    {"AUA", "Auditory area", "Iso", 0x019399, false, 168, 0},
    {"VSA", "Visual area", "Iso", 0x08858c, false, 180, 0},
    {"RSA", "Retrosplenial area", "Iso", 0x1aa698, false, 165, 0},
    {"OLF", "Olfactory areas", "Cx", 0x9ad2bd, true, 160, 0},
    {"MOB", "Main olfactory bulb", "OLF", 0x9ad2be, false, 190, 0},
    {"PIR", "Piriform area", "OLF", 0x6ab1a0, false, 185, 0},
    {"HiF", "Hippocampal formation", "Cx", 0x7ed04b, true, 150, 0},
    {"CA", "Ammon's horn", "HiF", 0x7ed04c, false, 215, 0},
    {"DG", "Dentate gyrus", "HiF", 0x7ed04d, false, 235, 0},
    {"SUB", "Subiculum", "HiF", 0x4fc244, false, 190, 0},
    {"CNU", "Cerebral nuclei", "CH", 0x98d6f9, false, 130, 0},
    {"STR", "Striatum", "CNU", 0x98d6fa, true, 135, 0},
    {"CP", "Caudoputamen", "STR", 0x98d6fb, false, 135, 0},
    {"ACB", "Nucleus accumbens", "STR", 0x80cdf8, false, 145, 0},
    {"PAL", "Pallidum", "CNU", 0x8599cc, false, 110, 0},
    {"BS", "Brain stem", "Br", 0xff7080, true, 115, 0},
    {"IB", "Interbrain", "BS", 0xff7081, false, 120, 0},
    {"TH", "Thalamus", "IB", 0xff7082, true, 140, 0},
    {"HY", "Hypothalamus", "IB", 0xe64438, false, 150, 0},
    {"MB", "Midbrain", "BS", 0xff64ff, false, 118, 0},
    {"SC", "Superior colliculus", "MB", 0xff90ff, false, 135, 0},
    {"IC", "Inferior colliculus", "MB", 0xff90fe, false, 140, 0},
    {"HB", "Hindbrain", "BS", 0xff9b88, false, 105, 0},
    {"P", "Pons", "HB", 0xffae6f, false, 112, 0},
    {"MY", "Medulla", "HB", 0xff9bcd, false, 100, 0},
    {"CB", "Cerebellum", "Br", 0xf0f080, true, 150, 0},
    {"CBX", "Cerebellar cortex", "CB", 0xf0f081, false, 200, 0},
    {"VERM", "Vermis", "CBX", 0xffff66, false, 205, 0},
    {"HEM", "Cerebellar hemispheres", "CBX", 0xffff67, false, 198, 0},
    {"CBN", "Cerebellar nuclei", "CB", 0xf0f082, false, 130, 0},
    {"FT", "Fiber tracts", "Br", 0xcccccc, true, 60, 0},
    {"cc", "Corpus callosum", "FT", 0xcccccd, false, 55, 0},
    {"ac", "Anterior commissure", "FT", 0xccccce, true, 50, 0},
    {"int", "Internal capsule", "FT", 0xcccccf, false, 58, 0},
    {"VS", "Ventricular systems", "Br", 0xaaaaaa, true, 20, 0},
    {"VL", "Lateral ventricle", "VS", 0xaaaaab, true, 18, 0},
    {"V3", "Third ventricle", "VS", 0xaaaaac, false, 18, 0},
    {"V4", "Fourth ventricle", "VS", 0xaaaaad, false, 18, 0},
    {"CORR", "Correlation probe", "Br", 0xff0000, true, 0, 9999},
    {"SMP", "Sample points", "Br", 0x00ff00, true, 0, 10000},
    {"PROJ", "Projection probe", "Br", 0x0000ff, true, 0, 10001},
};
constexpr int kTableSize = sizeof kTable / sizeof kTable[0];

struct IdOverride
{
    unsigned int atlasId;
    const char* abbreviation;
    unsigned int databaseId;
};

// Database ids that one atlas gives real structures, so that the viewer's presets which name structures
// by database id act on that atlas's data. Unlike the pseudo-structures' ids these stay painted.
const IdOverride kIdOverrides[] = {
    {351, "CH", 1001}, {351, "BS", 1002}, {351, "CB", 1003}, {351, "FT", 1004}, {351, "VS", 1005}, {351, "HiF", 4697},
};

unsigned int OverriddenId(unsigned int atlasId, const char* abbreviation)
{
    for (const IdOverride& o : kIdOverrides)
        if (o.atlasId == atlasId && std::string(o.abbreviation) == abbreviation)
            return o.databaseId;
    return 0;
}

int FullIndex(const char* abbreviation)
{
    for (int i = 0; i < kTableSize; ++i)
        if (std::string(kTable[i].abbreviation) == abbreviation)
            return i;
    return -1;
}

// Squared normalised distance from an axis-aligned ellipsoid's centre: below 1 inside.
double Ellipsoid(double x, double y, double z, double cx, double cy, double cz, double rx, double ry, double rz)
{
    const double dx = (x - cx) / rx, dy = (y - cy) / ry, dz = (z - cz) / rz;
    return dx * dx + dy * dy + dz * dz;
}

// The same for a pair of ellipsoids mirrored about the mid-plane; m is |z - 0.5|.
double Paired(double x, double y, double m, double cx, double cy, double cm, double rx, double ry, double rz)
{
    return Ellipsoid(x, y, m, cx, cy, cm, rx, ry, rz);
}

// Table positions of the structures the shapes name, looked up once.
struct Indices
{
    int iACB = FullIndex("ACB");
    int iAUA = FullIndex("AUA");
    int iBr = FullIndex("Br");
    int iCA = FullIndex("CA");
    int iCBN = FullIndex("CBN");
    int iCH = FullIndex("CH");
    int iCP = FullIndex("CP");
    int iDG = FullIndex("DG");
    int iFRA = FullIndex("FRA");
    int iHEM = FullIndex("HEM");
    int iHY = FullIndex("HY");
    int iIC = FullIndex("IC");
    int iMB = FullIndex("MB");
    int iMOA = FullIndex("MOA");
    int iMOB = FullIndex("MOB");
    int iMY = FullIndex("MY");
    int iP = FullIndex("P");
    int iPAL = FullIndex("PAL");
    int iPIR = FullIndex("PIR");
    int iRSA = FullIndex("RSA");
    int iSC = FullIndex("SC");
    int iSSA = FullIndex("SSA");
    int iSUB = FullIndex("SUB");
    int iTH = FullIndex("TH");
    int iV3 = FullIndex("V3");
    int iV4 = FullIndex("V4");
    int iVERM = FullIndex("VERM");
    int iVL = FullIndex("VL");
    int iVSA = FullIndex("VSA");
    int iac = FullIndex("ac");
    int icc = FullIndex("cc");
    int iint = FullIndex("int");
};

} // namespace

BrainModel::BrainModel(bool coarse, unsigned int atlasId)
{
    fromFull_.assign(kTableSize, -1);
    for (int i = 0; i < kTableSize; ++i)
    {
        const Entry& e = kTable[i];
        const int parentFull = e.parent ? FullIndex(e.parent) : -1;
        if (coarse && !e.coarse)
        {
            fromFull_[i] = fromFull_[parentFull];
            continue;
        }
        const int k = static_cast<int>(structures_.size());
        Structure s;
        s.abbreviation = e.abbreviation;
        s.name = e.name;
        // A kept structure whose parent was dropped hangs under its nearest kept ancestor.
        s.parent = parentFull < 0 ? -1 : fromFull_[parentFull];
        s.rgb[0] = static_cast<unsigned char>(e.rgb >> 16);
        s.rgb[1] = static_cast<unsigned char>(e.rgb >> 8);
        s.rgb[2] = static_cast<unsigned char>(e.rgb);
        const unsigned int overridden = OverriddenId(atlasId, e.abbreviation);
        s.databaseId = e.databaseId ? e.databaseId
                       : overridden ? overridden
                                    : 2000u + 11u * static_cast<unsigned int>(k);
        s.depth = s.parent < 0 ? 0 : structures_[s.parent].depth + 1;
        s.pseudo = e.databaseId != 0;
        s.nissl = e.nissl;
        fromFull_[i] = k;
        structures_.push_back(s);
    }
    // Annotation values are a rotation of the row numbers 1..N: below the label count, as the viewer's
    // annotation colour table is indexed by value and holds one entry per label, yet never equal to the
    // structure's own row number (k + 1) or database id, so that a reader that mixes them up is caught.
    const auto n = static_cast<unsigned int>(structures_.size());
    for (unsigned int k = 0; k < n; ++k)
        structures_[k].annotationValue = (k + 2) % n + 1;
}

int BrainModel::Find(const std::string& abbreviation) const
{
    for (std::size_t i = 0; i < structures_.size(); ++i)
        if (structures_[i].abbreviation == abbreviation)
            return static_cast<int>(i);
    return -1;
}

bool BrainModel::InSubtree(int structure, int ancestor) const
{
    for (int s = structure; s >= 0; s = structures_[s].parent)
        if (s == ancestor)
            return true;
    return false;
}

int BrainModel::Classify(double x, double y, double z) const
{
    const int full = ClassifyFull(x, y, z);
    return full < 0 ? -1 : fromFull_[full];
}

int BrainModel::ClassifyFull(double x, double y, double z) const
{
    static const Indices k;
    const double m = std::fabs(z - 0.5);
    const double cerebrum = Ellipsoid(x, y, z, 0.40, 0.42, 0.5, 0.30, 0.36, 0.44);
    const double posterior = Ellipsoid(x, y, z, 0.72, 0.50, 0.5, 0.25, 0.34, 0.30);
    const double bulb = Paired(x, y, m, 0.09, 0.50, 0.07, 0.085, 0.12, 0.065);
    if (cerebrum >= 1.0 && posterior >= 1.0 && bulb >= 1.0)
        return -1;

    if (Paired(x, y, m, 0.40, 0.36, 0.09, 0.08, 0.035, 0.04) < 1.0)
        return k.iVL;
    if (Ellipsoid(x, y, z, 0.52, 0.58, 0.5, 0.08, 0.14, 0.025) < 1.0)
        return k.iV3;
    if (Ellipsoid(x, y, z, 0.80, 0.60, 0.5, 0.05, 0.05, 0.045) < 1.0)
        return k.iV4;
    if (bulb < 1.0)
        return k.iMOB;
    if (std::fabs(y - 0.60) < 0.03 && std::fabs(x - 0.36) < 0.03 && m < 0.2)
        return k.iac;

    if (cerebrum < 1.0)
    {
        const double r = std::sqrt(cerebrum);
        if (r > 0.80 && y < 0.62)
        {
            if (y > 0.50)
                return k.iPIR;
            if (x < 0.20)
                return k.iFRA;
            if (x < 0.33)
                return k.iMOA;
            if (m < 0.12)
                return k.iRSA;
            if (m > 0.30 && x >= 0.40)
                return k.iAUA;
            return (x < 0.50 ? k.iSSA : k.iVSA);
        }
        if (r > 0.74 && y < 0.50 && m < 0.32)
            return k.icc;
        if (Paired(x, y, m, 0.62, 0.40, 0.05, 0.06, 0.06, 0.06) < 1.0)
            return k.iSC;
        if (Paired(x, y, m, 0.69, 0.43, 0.05, 0.04, 0.05, 0.05) < 1.0)
            return k.iIC;
        if (Ellipsoid(x, y, z, 0.63, 0.54, 0.5, 0.08, 0.13, 0.12) < 1.0)
            return k.iMB;
        const double hippocampus = Paired(x, y, m, 0.56, 0.34, 0.15, 0.10, 0.10, 0.11);
        if (hippocampus < 1.0)
        {
            if (hippocampus < 0.25)
                return k.iDG;
            return (x > 0.60 ? k.iSUB : k.iCA);
        }
        if (Paired(x, y, m, 0.32, 0.50, 0.14, 0.12, 0.15, 0.10) < 1.0)
            return (y > 0.58 ? k.iACB : k.iCP);
        if (Paired(x, y, m, 0.42, 0.52, 0.17, 0.04, 0.14, 0.03) < 1.0)
            return k.iint;
        if (Paired(x, y, m, 0.42, 0.58, 0.11, 0.05, 0.07, 0.045) < 1.0)
            return k.iPAL;
        if (Paired(x, y, m, 0.53, 0.48, 0.055, 0.09, 0.10, 0.07) < 1.0)
            return k.iTH;
        if (Ellipsoid(x, y, z, 0.52, 0.72, 0.5, 0.10, 0.09, 0.07) < 1.0)
            return k.iHY;
        return k.iCH;
    }

    if (posterior < 1.0)
    {
        if (Paired(x, y, m, 0.69, 0.43, 0.05, 0.04, 0.05, 0.05) < 1.0)
            return k.iIC;
        if (Ellipsoid(x, y, z, 0.63, 0.54, 0.5, 0.08, 0.13, 0.12) < 1.0)
            return k.iMB;
        if (x > 0.74 && y < 0.62)
        {
            if (Paired(x, y, m, 0.84, 0.45, 0.08, 0.04, 0.05, 0.04) < 1.0)
                return k.iCBN;
            return (m < 0.08 ? k.iVERM : k.iHEM);
        }
        if (x < 0.62)
        {
            if (y < 0.45)
                return (x < 0.56 ? k.iSC : k.iIC);
            return k.iMB;
        }
        return (y > 0.60 && x < 0.76 ? k.iP : k.iMY);
    }
    return k.iBr;
}

unsigned char BrainModel::Nissl(int structure, double x, double y, double z, double micrometres[3]) const
{
    if (structure < 0)
        return 0;
    double value = structures_[structure].nissl;
    // Cortical layers: a ripple with the depth below the brain surface.
    const double cerebrum = std::sqrt(Ellipsoid(x, y, z, 0.40, 0.42, 0.5, 0.30, 0.36, 0.44));
    if (structures_[structure].depth >= 2 && cerebrum > 0.8 && cerebrum < 1.0)
        value += 18.0 * Noise::Wave((1.0 - cerebrum) * 9.5);
    const double texture = Noise::Fractal(micrometres[0], micrometres[1], micrometres[2], 400.0, 17u);
    const double grain = Noise::Unit(static_cast<std::uint32_t>(micrometres[0] / 25.0),
                                     static_cast<std::uint32_t>(micrometres[1] / 25.0),
                                     static_cast<std::uint32_t>(micrometres[2] / 25.0), 23u);
    value += 40.0 * (texture - 0.5) + 16.0 * (grain - 0.5);
    if (value < 1.0)
        value = 1.0;
    if (value > 255.0)
        value = 255.0;
    return static_cast<unsigned char>(value);
}

} // namespace atlasgen
