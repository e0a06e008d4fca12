#pragma once

class MeshDocument;

// Faces that an unwrap left without a layout: all of their corners on one UV point. The engine
// gives a closed chart without seams nothing to open it along, and its faces collapse that
// way; the document keeps them as they are, and the start-up says how many there are.
int count_faces_without_layout(const MeshDocument& doc);

// One warning line on stderr when the document has such faces; nothing otherwise.
void warn_faces_without_layout(const MeshDocument& doc);

// One warning line on stderr when the last unwrap cut charts open to make them discs: how many
// charts and how many edges; nothing otherwise.
void warn_disc_cuts();
