#pragma once

#include "gl/GLTexture.h"
#include "gl/GLTextureButton.h"
#include "gl/MouseListener.h"

class BrainSceneRenderer;

// The strip of buttons above the section image: a close button, a button that opens the image in the web
// browser, and three cells that choose what the section image shows (numbered as the model's image
// display modes: coronal atlas plate, sagittal atlas plate, the selected data set's own section).
// Positions are overlay pixels with the origin at the bottom left. Main thread only, GL context current.
class ImageControlBar : public MouseListener
{
public:
    static constexpr int CELLS = 3;

    ImageControlBar();
    ~ImageControlBar() override;
    ImageControlBar(const ImageControlBar&) = delete;
    ImageControlBar& operator=(const ImageControlBar&) = delete;

    // y counts from the top of the display, as events come.
    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;

    virtual void Create(BrainSceneRenderer* renderer, int x, int y, int width, int height);
    virtual void Draw();
    virtual int GetCellWidth() const;
    virtual void CheckImagesAvailable();

    BrainSceneRenderer* GetRenderer() const { return m_renderer; }
    bool IsImageAvailable(int cell) const { return cell >= 0 && cell < CELLS && m_imageAvailable[cell]; }
    int GetPressedCell() const { return m_pressedCell; }
    // The overlay row just above the bar.
    int GetTop() const { return m_y + m_height; }
    GLTextureButton& GetCloseButton() { return m_closeButton; }
    GLTextureButton& GetBrowserButton() { return m_browserButton; }

private:
    // The cell under an overlay point of the bar's row, or -1 outside the bar; may lie beyond the cells.
    int CellAt(int x, int y) const;
    bool Inside(int x, int y) const;
    int ToOverlayY(int y) const;

    BrainSceneRenderer* m_renderer = nullptr;
    GLTexture m_cellIcons[CELLS];
    GLTextureButton m_closeButton;
    GLTextureButton m_browserButton;
    GLTextureButton* m_capturedButton = nullptr;
    bool m_imageAvailable[CELLS] = {false, false, false};
    int m_x = 0;
    int m_y = 0;
    int m_width = 0;
    int m_height = 0;
    int m_pressedCell = -1;
    bool m_pressedLook = false;
};
