#pragma once

#include "gl/MouseListener.h"

class BrainSceneRenderer;

// The strip of buttons above the section image. For now it only keeps its place: it draws nothing and
// takes no press. Main thread only.
class ImageControlBar : public MouseListener
{
public:
    ImageControlBar();
    ~ImageControlBar() override;

    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;

    virtual void Create(BrainSceneRenderer* renderer, int x, int y, int width, int height);
    virtual void Draw();
    virtual int GetCellWidth() const;
    virtual void CheckImagesAvailable();

    BrainSceneRenderer* GetRenderer() const { return m_renderer; }

private:
    BrainSceneRenderer* m_renderer = nullptr;
    int m_x = 0;
    int m_y = 0;
    int m_width = 0;
    int m_height = 0;
};
