#pragma once

// Scene test helpers that need no GL header, so that tests of real windows (which bring Qt's GL headers)
// can use them too.

#include "core/NetFile.h"

#include <array>
#include <string>

class Atlas;
class BrainSceneView;
class GeneExpression;

namespace scenetest
{

// The user atlas folder of the test program, with the generator's tiny atlases 310 and 350.
const std::string& InstalledAtlasRoot();

// A bare float grid on the grid of atlas 310 (133 x 81 x 115, 16-bit annotation), written from the
// space's Annotation file: 1000 in the voxels of one structure, 0 elsewhere, so that the data set's
// expressors lie in that structure alone. The structure is the smallest one of at least 200 voxels;
// value receives its annotation value.
std::string StructureGridBytes(const Atlas& atlas, unsigned short& value);

// The window rectangle (x0, y0, x1, y1, GL rows from the bottom) that the glyphs of the view's first data
// set can cover: every corner of every glyph's box, moved by the first data set's offset, through the
// view's camera. Needs the view's context current.
std::array<double, 4> GlyphScreenBox(BrainSceneView& view, const GeneExpression& gene);

// Where a point of the view's voxel space lands in the window (GL rows from the bottom). Needs the view's
// context current.
std::array<double, 2> ScreenPoint(BrainSceneView& view, const std::array<float, 3>& point);

// The body of one GET, through the program's own transport.
class Download : public NetEventListener
{
public:
    explicit Download(const std::string& url) { NetFile::Create(url, this, true); }
    void DownloadComplete(const void* data, unsigned long size) override
    {
        bytes.assign(static_cast<const char*>(data), size);
        done = true;
    }
    void DownloadFailed(const std::string& message) override
    {
        error = message;
        done = true;
    }
    void ResponseReceived(const std::string&, unsigned long) override {}
    void DataReceived(const void*, unsigned long) override {}
    std::string bytes, error;
    bool done = false;
};

} // namespace scenetest
