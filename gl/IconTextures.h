#pragma once

#include <functional>
#include <string>

class GLDisplay;
class GLTexture;

// Icons are BGRA textures of a named application image (ApplicationImages), top row first, with linear
// filtering. Inverted icons turn black line art into white on transparent. At a pixel ratio above 1 the
// image is drawn with as many texels a pixel and the texture's texel scale set to it, so that the icon keeps
// its size (GetDrawWidth) and is as sharp as the screen. Every function needs a current GL context; a
// missing or unusable image returns false and leaves the texture as it was.

// Takes images with alpha at 32 bits a pixel or without alpha at 24; anything else is refused.
bool LoadIconTexture(const std::string& name, GLTexture& texture, bool invert, double ratio = 1.0);
// The pressed or hovered look: colour bytes of pixels whose first byte is not 0 go up by 50 (saturating),
// to white from 205 on. Alpha is kept.
void BrightenIcon(GLTexture& texture);

bool MakeStartArrow(GLTexture& texture, double ratio = 1.0);
bool MakeEndArrow(GLTexture& texture, double ratio = 1.0);
bool MakeNextArrow(GLTexture& texture, double ratio = 1.0);
bool MakePrevArrow(GLTexture& texture, double ratio = 1.0);
bool MakePauseIcon(GLTexture& texture, double ratio = 1.0);
bool MakeFindMoreIcon(GLTexture& texture, double ratio = 1.0);
bool MakeZoomIcon(GLTexture& texture, double ratio = 1.0);
bool MakeFindSimilarIcon(GLTexture& texture, double ratio = 1.0);
bool MakeCoronalPlaneIcon(GLTexture& texture, double ratio = 1.0);
bool MakeSagittalPlaneIcon(GLTexture& texture, double ratio = 1.0);
bool MakeISHImageIcon(GLTexture& texture, double ratio = 1.0);
bool MakeShowBrowserImageIcon(GLTexture& texture, double ratio = 1.0);
void MakeActiveShowBrowserImageIcon(GLTexture& texture, double ratio = 1.0);
bool MakeCloseTabIcon(GLTexture& texture, double ratio = 1.0);
void MakeActiveCloseTabIcon(GLTexture& texture, double ratio = 1.0);

// An icon of a display's renderer, made at the display's pixel ratio and made again when it is next drawn
// after the ratio changed (its window moved to a screen of another scale), with any maker above. Without a
// display it is made at 1 and stays. The display outlives the texture.
using IconMaker = std::function<void(GLTexture& texture, double ratio)>;
void MakeDisplayIcon(GLTexture& texture, GLDisplay* display, IconMaker make);
