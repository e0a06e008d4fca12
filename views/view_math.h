#pragma once

// 4 x 4 float matrices in column-major (OpenGL) order acting on column vectors; in
// mat_mul(out, a, b) b applies first.

// Degrees to radians with pi taken as 22/7, as the views have always turned them.
constexpr float VIEW_DEG_TO_RAD = 0.017460316f;

void mat_identity(float m[16]);
void mat_mul(float out[16], const float a[16], const float b[16]);
void mat_translation(float m[16], float x, float y, float z);
void mat_rotation_x(float m[16], float degrees);
void mat_rotation_y(float m[16], float degrees);
// General inverse through the determinant; false (out untouched) when singular.
bool mat_inverse(float out[16], const float m[16]);
// out = m * (x, y, z, w).
void mat_transform(float out[4], const float m[16], float x, float y, float z, float w);
