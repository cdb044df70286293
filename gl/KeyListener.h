#pragma once

// Codes of the keys that have no character of their own.
enum SpecialKey
{
    kUpArrowKey = 1,
    kDownArrowKey = 2,
    kLeftArrowKey = 3,
    kRightArrowKey = 4,
    kPageUpKey = 5,
    kPageDownKey = 6,
    kHomeKey = 7,
    kEndKey = 8
};

class KeyListener
{
public:
    virtual ~KeyListener() {}
    // key is the first UTF-16 code unit of the typed characters.
    virtual bool OnKeyDown(unsigned int key, int flags, unsigned int time) = 0;
    virtual bool OnSpecialKeyDown(int code, int flags, unsigned int time);
};
