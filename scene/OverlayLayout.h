#pragma once

#include "scene/OverlayRect.h"

#include <functional>
#include <vector>

// Where each piece of the scene's 2D overlay stands, worked out from the scene's size, the pixel ratio and
// what the scene shows, without GL. Drawing and hit testing both read it, so a press lands on the piece drawn
// under it. Rectangles are logical pixels with rows from the bottom, as the overlay draws; an empty one is a
// piece not shown or given way.
//
// The pieces are placed one after the other, each clear of those placed before it by kGap pixels, so that
// none is ever drawn over another. Where the scene has no room, a piece gives way in this order, an earlier
// piece keeping its place and size:
//  1. The section image with its bar, shown at the user's request, keeps the bottom left corner; it hides
//     only in a scene smaller than itself.
//  2. The threshold control (the plot, the level control or the volume control) keeps the bottom right
//     corner; it hides where it would not fit beside the image. The inset of the image's whole section
//     stands right of the image and hides where it would meet the control.
//  3. The compass keeps the top right corner under the tab bar. It shrinks to stay above the control and
//     clear of the image, down to kLeastCompass pixels, then hides.
//  4. Each space's name stands at the top of its view, centred; where it would meet the compass it moves
//     left of it, else under it; it hides where it would then leave its view or meet a piece above.
//  5. Each donor's chart (its strip, group labels and title) stands near the bottom of its view. It narrows
//     between the pieces beside it down to kLeastChart pixels, else rises above them, else hides.
//  6. The attribution stands at the bottom left, above the image's bar while the image shows, else right
//     of the image and its inset. It shortens (its text cut with an ellipsis) down to kReadableCharacters
//     characters, and hides rather than show fewer.
//  7. The selection's box stands at the top left under the names. It narrows (its text wraps), then shows
//     fewer lines, down to one line of kReadableCharacters characters, then hides.
// The frame-rate and window-size texts, drawn only on request for measuring, are not placed.
class OverlayLayout
{
public:
    static constexpr int kGap = 5;
    static constexpr int kLeastCompass = 48;
    static constexpr int kLeastChart = 80;
    static constexpr int kReadableCharacters = 12;
    // The section image and its bar, and the inset's distance from the image.
    static constexpr int kImageSide = 256;
    static constexpr int kImageBarHeight = 20;
    // The selection's text stands this far right of the scene's edge; its background reaches this far left
    // of the text, right of it and above and below it.
    static constexpr int kSelectionX = 6;
    static constexpr int kSelectionLeftMargin = 6;
    static constexpr int kSelectionRightMargin = 12;
    static constexpr int kSelectionMargin = 4;
    static constexpr int kSelectionWidth = 480;
    static constexpr int kAttributionWidth = 400;

    // What the scene shows, with the sizes of its texts in logical pixels.
    struct Shown
    {
        int tabHeight = 0;
        int lineHeight = 15;
        // An average character's width: the least readable length of the texts that shorten.
        int characterWidth = 7;
        // The compass's side where there is room; 0 when it is not in the corner.
        int compassSide = 0;
        // The visible views' cells in the scene's grid, each with its name's text width (names are drawn
        // only for atlases of several spaces) and whether it draws a donor's chart.
        struct View
        {
            OverlayRect cell;
            int nameWidth = 0;
            bool chart = false;
        };
        std::vector<View> views;
        bool names = false;
        int chartTitleWidth = 0;
        // The threshold control's size at the bottom right corner (from the scene's right edge, and its
        // bottom and top rows); no width when none shows.
        int controlWidth = 0;
        int controlBottom = 0;
        int controlTop = 0;
        bool sectionImage = false;
        int insetWidth = 0;
        int insetHeight = 0;
        int attributionWidth = 0;
        // The selection's widest line, and its line count when wrapped at a width; null without a selection.
        int selectionWidth = 0;
        std::function<int(int width)> selectionLines;
    };

    enum class Piece
    {
        kNone,
        kControl,
        kImage,
        kImageBar,
        kInset,
        kCompass,
        kName,
        kChart,
        kAttribution,
        kSelection
    };
    struct Placed
    {
        Piece piece = Piece::kNone;
        // The view of a name or chart, by its index in Shown::views; -1 otherwise.
        int view = -1;
        OverlayRect rect;
    };

    OverlayLayout() = default;
    OverlayLayout(int deviceWidth, int deviceHeight, double ratio, const Shown& shown);

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    const OverlayRect& GetControl() const { return m_control; }
    const OverlayRect& GetImage() const { return m_image; }
    const OverlayRect& GetImageBar() const { return m_imageBar; }
    const OverlayRect& GetInset() const { return m_inset; }
    const OverlayRect& GetCompass() const { return m_compass; }
    // The name's text; empty where it is not drawn.
    OverlayRect GetName(int view) const;
    // The chart's strip (its labels stand above it and its title under it); empty where it is not drawn.
    OverlayRect GetChartStrip(int view) const;
    // The attribution's line at the width it is drawn.
    const OverlayRect& GetAttribution() const { return m_attribution; }
    // The selection's text, `GetSelectionLines` lines high, and what its background covers.
    const OverlayRect& GetSelectionText() const { return m_selectionText; }
    int GetSelectionLines() const { return m_selectionLines; }
    OverlayRect GetSelectionCover() const;
    // Every piece shown, in the order drawn.
    std::vector<Placed> GetPieces() const;
    // The piece drawn at a pixel, the topmost first.
    Placed At(int x, int row) const;

    // What a donor's chart covers: its strip, the group labels above, the title under it.
    static OverlayRect ChartCover(const OverlayRect& strip, int lineHeight, int titleWidth);

private:
    void PlaceImageAndControl(const Shown& shown);
    void PlaceCompass(const Shown& shown);
    void PlaceNames(const Shown& shown);
    OverlayRect PlaceName(const Shown::View& view, int lineHeight) const;
    void PlaceCharts(const Shown& shown);
    OverlayRect PlaceChart(const OverlayRect& cell, const Shown& shown) const;
    void PlaceAttribution(const Shown& shown);
    void PlaceSelection(const Shown& shown);
    // The first piece placed so far that `rect` comes within kGap of; null when none.
    const Placed* Blocking(const OverlayRect& rect) const;
    void Add(Piece piece, const OverlayRect& rect, int view = -1);

    int m_width = 0;
    int m_height = 0;
    // The rows under the tab bar.
    int m_top = 0;
    OverlayRect m_control;
    OverlayRect m_image;
    OverlayRect m_imageBar;
    OverlayRect m_inset;
    OverlayRect m_compass;
    std::vector<OverlayRect> m_names;
    std::vector<OverlayRect> m_chartStrips;
    OverlayRect m_attribution;
    OverlayRect m_selectionText;
    int m_selectionLines = 0;
    std::vector<Placed> m_placed;
};
