#pragma once

#include <string>

// Drains the GL error queue into lines "OpenGL error <code>: <text> in <where>" and throws them as
// one std::runtime_error when throwOnError is set; otherwise only clears the queue.
void CheckGLError(const char* where, bool throwOnError);

// The readable text of one GL error code ("unknown" for codes without one).
const char* GLErrorText(unsigned int code);

// The line CheckGLError writes for one error, line feed included.
std::string GLErrorLine(unsigned int code, const char* where);

// Where GL error codes come from: glGetError unless a test replaces it. Mesa keeps a single error
// flag, so tests that need several queued errors supply their own source. Returns the previous one.
using GLErrorSource = unsigned int (*)();
GLErrorSource SetGLErrorSource(GLErrorSource source);

// Reads one code from the current error source.
unsigned int ReadGLError();

// With no current context some drivers report an error on every read; draining stops after this
// many so that the check always ends.
constexpr int kMaxDrainedGLErrors = 32;
