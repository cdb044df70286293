#pragma once

#include "gl/GLTextBox.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

// What a RecordingTextBox was made with and what was done to it. The display keeps it after the box
// is deleted, so tests can still look.
struct TextBoxRecord
{
    int width = 0;
    int lines = 0;
    bool small = false;
    GLTextBox::Alignment alignment = GLTextBox::kAlignLeft;
    std::string text;
    std::vector<std::string> texts;         // every SetText, in order
    std::vector<std::pair<int, int>> draws; // every Draw position, in order
    bool background = false;
    bool deleted = false;
};

// A text box with fixed metrics that draws nothing: lines are 13 pixels high when small, else 15,
// and every character (UTF-8 code point) is 7 pixels wide.
class RecordingTextBox : public GLTextBox
{
public:
    static constexpr int kSmallLineHeight = 13;
    static constexpr int kLineHeight = 15;
    static constexpr int kCharacterWidth = 7;

    explicit RecordingTextBox(std::shared_ptr<TextBoxRecord> record);
    ~RecordingTextBox() override;

    void SetText(const std::string& text) override;
    void Draw(int x, int y) override;
    void ShowBackground(bool show) override;
    int GetLineHeight() override;
    int GetTextWidth() override;
    int GetWidth() override;
    int GetHeight() override;
    const TextBoxRecord& Record() const { return *record; }

private:
    std::shared_ptr<TextBoxRecord> record;
};
