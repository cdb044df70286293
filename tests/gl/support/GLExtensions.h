#pragma once

// Runs glewInit for the current context; throws std::runtime_error when it fails.
void InitGLExtensions();
