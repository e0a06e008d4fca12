#pragma once

// Stretch colour ramp of a face's stretch shade (0..1): shade 0 red, 0.5 green, 1 blue, with
// linear blends between. Shared by the views and the UV layout pictures.
void stretch_colour(float shade, float rgb[3]);
