#pragma once

#include <string>

class GLTexture;

// Icons are BGRA textures of a named application image (ApplicationImages), top row first, with linear
// filtering. Inverted icons turn black line art into white on transparent. Every function needs a
// current GL context; a missing or unusable image returns false and leaves the texture as it was.

// Takes images with alpha at 32 bits a pixel or without alpha at 24; anything else is refused.
bool LoadIconTexture(const std::string& name, GLTexture& texture, bool invert);
// The pressed or hovered look: colour bytes of pixels whose first byte is not 0 go up by 50 (saturating),
// to white from 205 on. Alpha is kept.
void BrightenIcon(GLTexture& texture);

bool MakeStartArrow(GLTexture& texture);
bool MakeEndArrow(GLTexture& texture);
bool MakeNextArrow(GLTexture& texture);
bool MakePrevArrow(GLTexture& texture);
bool MakePauseIcon(GLTexture& texture);
bool MakeFindMoreIcon(GLTexture& texture);
bool MakeZoomIcon(GLTexture& texture);
bool MakeFindSimilarIcon(GLTexture& texture);
bool MakeCoronalPlaneIcon(GLTexture& texture);
bool MakeSagittalPlaneIcon(GLTexture& texture);
bool MakeISHImageIcon(GLTexture& texture);
bool MakeShowBrowserImageIcon(GLTexture& texture);
void MakeActiveShowBrowserImageIcon(GLTexture& texture);
bool MakeCloseTabIcon(GLTexture& texture);
void MakeActiveCloseTabIcon(GLTexture& texture);
