#include "gl/support/RecordingTextBox.h"

#include <algorithm>

RecordingTextBox::RecordingTextBox(std::shared_ptr<TextBoxRecord> record)
    : record(std::move(record))
{
}

RecordingTextBox::~RecordingTextBox()
{
    record->deleted = true;
}

void RecordingTextBox::SetText(const std::string& text)
{
    record->text = text;
    record->texts.push_back(text);
}

void RecordingTextBox::Draw(int x, int y)
{
    record->draws.emplace_back(x, y);
}

void RecordingTextBox::ShowBackground(bool show)
{
    record->background = show;
}

int RecordingTextBox::GetLineHeight()
{
    return record->small ? kSmallLineHeight : kLineHeight;
}

int RecordingTextBox::GetTextWidth()
{
    const auto codePoints = std::count_if(record->text.begin(), record->text.end(),
                                          [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
    return static_cast<int>(codePoints) * kCharacterWidth;
}

int RecordingTextBox::GetWidth()
{
    return record->width;
}

int RecordingTextBox::GetHeight()
{
    return std::max(record->lines, 1) * GetLineHeight();
}
