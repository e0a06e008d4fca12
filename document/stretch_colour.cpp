#include "document/stretch_colour.h"

void stretch_colour(float s, float rgb[3]) {
    if (s < 0.5f) {
        rgb[0] = (0.5f - s) * 2.0f;
        rgb[1] = s * 2.0f;
        rgb[2] = 0.0f;
    } else {
        rgb[0] = 0.0f;
        rgb[1] = (1.0f - s) * 2.0f;
        rgb[2] = (s - 0.5f) * 2.0f;
    }
}
