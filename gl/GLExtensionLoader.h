#pragma once

// GLEW's side of context set-up, kept apart from the files that include Qt's GL headers.
class GLExtensionLoader
{
public:
    // Runs glewInit for the current context; false when it fails. Leaves the GL error queue empty.
    static bool Load();
    // GL_MAX_SAMPLES of the current context (0 when the query fails).
    static int GetMaxSamples();
};
