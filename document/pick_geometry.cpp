#include "document/pick_geometry.h"

#include <initializer_list>

namespace {

void mat_mul(float out[16], const float a[16], const float b[16]) {
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            float s = 0;
            for (int k = 0; k < 4; ++k)
                s += a[k * 4 + row] * b[c * 4 + k];
            out[c * 4 + row] = s;
        }
}

// Moves `end` along the edge towards `other` until its w is the near limit.
void move_to_near(float end[4], const float other[4]) {
    const float t = (PICK_NEAR_W - end[3]) / (other[3] - end[3]);
    for (int i = 0; i < 3; ++i)
        end[i] += t * (other[i] - end[i]);
    end[3] = PICK_NEAR_W;
}

} // namespace

PickCamera pick_camera(const PickView& view) {
    PickCamera c;
    mat_mul(c.mvp, view.projection, view.modelView);
    c.halfWidth = float(view.width) * 0.5f;
    c.halfHeight = float(view.height) * 0.5f;
    return c;
}

void pick_clip(const PickCamera& camera, float x, float y, float z, float clip[4]) {
    const float* m = camera.mvp;
    for (int r = 0; r < 4; ++r)
        clip[r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
}

void pick_screen(const PickCamera& camera, const float clip[4], float* sx, float* sy) {
    *sx = camera.halfWidth + camera.halfWidth * clip[0] / clip[3];
    *sy = camera.halfHeight - camera.halfHeight * clip[1] / clip[3];
}

PickRect pick_rect(const int32_t rect[4]) {
    PickRect r;
    r.xmin = float(rect[0] < rect[2] ? rect[0] : rect[2]);
    r.xmax = float(rect[0] < rect[2] ? rect[2] : rect[0]);
    r.ymin = float(rect[1] < rect[3] ? rect[1] : rect[3]);
    r.ymax = float(rect[1] < rect[3] ? rect[3] : rect[1]);
    return r;
}

bool rect_contains(const PickRect& r, float x, float y) {
    return r.xmin < x && x < r.xmax && r.ymin < y && y < r.ymax;
}

bool segment_hits_rect(const PickRect& r, float x1, float y1, float x2, float y2) {
    if (rect_contains(r, x1, y1) || rect_contains(r, x2, y2))
        return true;
    for (const float x : {r.xmin, r.xmax}) {
        if ((x1 < x && x < x2) || (x2 < x && x < x1)) {
            const float y = y1 + (y2 - y1) / (x2 - x1) * (x - x1);
            if (r.ymin < y && y < r.ymax)
                return true;
        }
    }
    for (const float y : {r.ymin, r.ymax}) {
        if ((y1 < y && y < y2) || (y2 < y && y < y1)) {
            const float x = x1 + (x2 - x1) / (y2 - y1) * (y - y1);
            if (r.xmin < x && x < r.xmax)
                return true;
        }
    }
    return false;
}

bool clip_segment_near(float a[4], float b[4]) {
    if (!(a[3] > PICK_NEAR_W) && !(b[3] > PICK_NEAR_W))
        return false;
    if (a[3] < PICK_NEAR_W)
        move_to_near(a, b);
    else if (b[3] < PICK_NEAR_W)
        move_to_near(b, a);
    return true;
}

float facing_value(float s0x, float s0y, float s1x, float s1y, float s2x, float s2y) {
    return (s0y - s2y) * (s0x - s1x) - (s0y - s1y) * (s0x - s2x);
}
