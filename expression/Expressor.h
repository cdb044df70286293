#pragma once

class AnnotationLabel;

// One grid cell of a data set placed in one atlas space.
struct Expressor
{
    // 1-based in creation order within the space; 0 never names an expressor, so picking uses it for "none".
    unsigned int id = 0;
    // Grid coordinates in units of the space's view resolution.
    float position[3] = {0.0f, 0.0f, 0.0f};
    // 0..255, or the energy in light gene data; negative when the cell has no intensity (injection sites
    // carry INJECTION_SITE_INTENSITY).
    float intensity = 0.0f;
    // Density times 1000.
    float density = 0.0f;
    // Section number of the image that shows the cell (0: none) and the cell's pixel in that image,
    // counted in the image's parent image.
    unsigned short section = 0;
    unsigned short imageX = 0;
    unsigned short imageY = 0;
    // The structure holding the cell; null until the structures are assigned, or outside every structure.
    const AnnotationLabel* label = nullptr;

    static constexpr float INJECTION_SITE_INTENSITY = -16000.0f;
};
