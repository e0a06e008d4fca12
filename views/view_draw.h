#pragma once

#include <cstdint>

#include "views/view_types.h"

// Drawing pieces shared by the two views' passes.

// An edge or UV point shows as selected while a drag is under way when a pick bit will toggle
// it to selected, or when it is selected and carries no pick bit.
bool shown_selected(int32_t flags);

// Width and colour of an edge by its flags; uvPalette picks the UV view's plain colour.
void edge_style(int32_t flags, bool uvPalette, float rgb[3], float* width);

// Screen position of a clip-space point in a view of half sizes cx, cy; false when w < 0.
bool clip_to_screen(const float clip[4], float cx, float cy, float* sx, float* sy, float* depth);

// Markers of every face corner's UV point: 3D view at the corner's vertex, UV view at (u, v).
void draw_uv_markers(const float modelView[16], const float projection[16], int viewWidth,
                     int viewHeight, bool atVertices);
void draw_select_rect(const int32_t rect[4], int viewWidth, int viewHeight);
void draw_status_line(const char* text, int viewWidth, int viewHeight);

// Copies a status text into a view's 100-character status buffer.
void set_status(char* text, const char* value);

// The grey material both views draw their faces and tiles with (colour material on).
void set_view_material();
