#pragma once

// Pairs glBegin with glEnd, so that an exception between them still ends the primitive.
class GLBegin
{
public:
    explicit GLBegin(unsigned int mode);
    ~GLBegin();
    GLBegin(const GLBegin&) = delete;
    GLBegin& operator=(const GLBegin&) = delete;
};
