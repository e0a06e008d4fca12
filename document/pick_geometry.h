#pragma once

#include <cstdint>

// Screen-space tests of picking, shared by the document's picks and the views. A view hands
// over what its last frame drew with; nothing here reaches into a view.

// One view's camera as its last frame saw it: clip = projection x modelView x point, and the
// view's size in pixels.
struct PickView {
    float modelView[16];
    float projection[16];
    int width, height;
};

// Combined matrix of a pick view and its half sizes.
struct PickCamera {
    float mvp[16];
    float halfWidth, halfHeight;
};
PickCamera pick_camera(const PickView& view);

// Clip coordinates (x, y, z, w) of a point.
void pick_clip(const PickCamera& camera, float x, float y, float z, float clip[4]);
// View pixels, y downwards: x = hw + hw X / w, y = hh - hh Y / w. No test on w.
void pick_screen(const PickCamera& camera, const float clip[4], float* sx, float* sy);

// A selection rectangle (x0, y0, x1, y1, either corner first) as bounds.
struct PickRect {
    float xmin, ymin, xmax, ymax;
};
PickRect pick_rect(const int32_t rect[4]);

// Strictly inside: a point on the border is outside.
bool rect_contains(const PickRect& r, float x, float y);
// An end inside, or a crossing of one of the four border lines strictly between the segment's
// ends and strictly within the other bounds. Slopes are only taken across a strict crossing,
// so vertical and horizontal segments never divide by zero.
bool segment_hits_rect(const PickRect& r, float x1, float y1, float x2, float y2);

// Which sides of the rectangle a point lies beyond, border included (bits 1 left, 2 right,
// 4 above, 8 below). A segment whose two ends share a bit cannot hit the rectangle, so a pick
// may skip its test.
inline int rect_outcode(const PickRect& r, float x, float y) {
    return (x <= r.xmin ? 1 : 0) | (x >= r.xmax ? 2 : 0) | (y <= r.ymin ? 4 : 0) |
           (y >= r.ymax ? 8 : 0);
}

// Near clipping of an edge in clip space: false when neither end has w above 0.01; otherwise
// an end with w below 0.01 is moved along the edge to w = 0.01.
constexpr float PICK_NEAR_W = 0.01f;
bool clip_segment_near(float a[4], float b[4]);

// Facing value of three screen positions; a face faces the camera when it is below 0.
float facing_value(float s0x, float s0y, float s1x, float s1y, float s2x, float s2y);
