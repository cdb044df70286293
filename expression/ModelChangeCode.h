#pragma once

// What a BrainExpressionModel notification announces. The numbers travel as the int code of
// BrainExpressionModelListener::ModelChanged and are the contract of every listener; the argument is 0
// unless the comment names it.
enum ModelChangeCode
{
    EXPRESSION_SELECTOR_CHANGED = 1,
    STRUCTURE_SELECTOR_CHANGED = 2,
    GENE_ADDED = 3,                 // the data set's index
    GENE_REMOVING = 4,              // the index of the data set, still held while listeners run
    MPR_SLICE_LOCATION_CHANGED = 5, // the plane
    MPR_PLANE_VISIBILITY_CHANGED = 6,
    MESH_DISPLAY_STYLE_CHANGED = 7, // the new style
    GENE_COLOR_MODE_CHANGED = 8,    // the new mode; 0 when only the z-score display was set
    COMPASS_LOCATION_CHANGED = 9,   // the new location
    ROTATION_CHANGED = 10,
    ORIGIN_CHANGED = 11,
    ZOOM_CHANGED = 12,                   // the new zoom, truncated
    CUTTING_PLANE_LOCATION_CHANGED = 13, // the plane
    CUTTING_PLANES_VISIBILITY_CHANGED = 14,
    PROBE_CHANGED = 15,
    GENE_COLOR_CHANGED = 16,      // the data set's index
    GENE_VISIBILITY_CHANGED = 17, // the data set's index
    SELECTED_EXPRESSOR_CHANGED = 18,
    SELECTED_GENE_CHANGED = 19,
    SELECTED_STRUCTURE_CHANGED = 20,
    VIEW_RESET = 21,
    STOP_ANIMATIONS = 22,
    IMAGE_ALPHA_CHANGED = 23,
    ANNOTATION_ALPHA_CHANGED = 24,
    VISIBILITY_THRESHOLD_CHANGED = 25,
    THRESHOLD_CONTROLS_VISIBILITY_CHANGED = 26,
    MIP_WINDOW_CHANGED = 27,
    VOLUME_RENDER_WINDOW_CHANGED = 28,
    EXPRESSION_WINDOW_CHANGED = 29,
    IMAGE_DISPLAY_MODE_CHANGED = 30
};
