#pragma once

#include "views/pass_arrays.h"

class MeshDocument;

// Whether what a pass's arrays show has changed since they were built (each call also
// remembers the current values for the next frame).

// The 3D faces: the mesh, UV coordinates and indices, the texture repeat, stretch shades.
bool scene_face_inputs_changed(const MeshDocument& doc, InputMemo& memo, float textureRepeat,
                               bool showStretch);
// The edges drawn from every face corner: the mesh and every edge's flags, and the anchor
// edge the pass highlights (-1 none).
bool edge_inputs_changed(const MeshDocument& doc, InputMemo& memo, int anchorEdge);
// The UV view's lines and stretch faces: the above and the UV coordinates and indices.
bool uv_inputs_changed(const MeshDocument& doc, InputMemo& memo, int anchorEdge, bool showStretch);
