#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "views/segment_cull.h"

// Vertex arrays of the two passes, built when what they show changes and drawn with a few
// calls per frame. They hold exactly the primitives, attributes and order that drawing vertex
// by vertex gives, so the frames are the same pixels.

// Triangles with a colour, a normal and a texture coordinate per vertex.
struct FaceArrays {
    std::vector<float> pos, normal, tex, colour;
    bool valid = false;

    void clear();
    // One polygon drawn as a fan around its first vertex: begin, then its vertices.
    void beginFan(const float rgb[3]);
    void fanVertex(const float p[3], const float n[3], const float uv[2]);
    void endFan() {}

private:
    size_t fanStart_ = 0;
    int fanCount_ = 0;
    float fanColour_[3] = {0, 0, 0};
    float first_[8] = {}, last_[8] = {}; // position, normal, texture coordinate
    void emit(const float v[8]);
};

// Line segments with a colour per vertex, in runs of one width.
struct LineRun {
    int first, count;
    float width;
};

// Every segment a pass may draw (two ends, their colour, a width each) and what decides which
// of them a frame draws; pos, colour and runs hold the segments of the last frame drawn.
struct LineArrays {
    std::vector<float> base, baseColour, width;
    SegmentCull cull;
    std::vector<float> pos, colour;
    std::vector<LineRun> runs;
    std::vector<int> kept;
    bool valid = false;

    void clear();
    // A segment that is drawn at any zoom when alwaysDrawn, else only when long enough.
    void segment(const float a[3], const float b[3], const float rgb[3], float width,
                 bool alwaysDrawn);
};

// The same primitives drawn vertex by vertex, for comparison with the arrays.
struct ImmediateFans {
    void beginFan(const float rgb[3]);
    void fanVertex(const float p[3], const float n[3], const float uv[2]);
    void endFan();
};

// Segments are numbered as they come; only those in `kept` (ascending) are drawn.
struct ImmediateLines {
    ImmediateLines(const float offset[3], const std::vector<int>& kept);
    ~ImmediateLines();
    ImmediateLines(const ImmediateLines&) = delete;
    ImmediateLines& operator=(const ImmediateLines&) = delete;
    void segment(const float a[3], const float b[3], const float rgb[3], float width,
                 bool alwaysDrawn);

private:
    float offset_[3];
    const std::vector<int>& kept_;
    size_t next_ = 0;
    int index_ = 0;
    float width_ = 1;
};

// Draws the triangles (normals and texture coordinates only when asked).
void draw_face_arrays(const FaceArrays& faces, bool normals, bool textured);
// Draws the segments in lines.kept moved by `offset` (added to every coordinate, as the pass
// would).
void draw_line_arrays(LineArrays& lines, const float offset[3]);

// What a set of arrays was built from: part i holds a copy of the bytes it was last given.
// update() answers whether any part differs from last time (and remembers the new bytes).
class InputMemo {
public:
    void reset() { parts_.clear(); }
    bool update(size_t part, const void* data, size_t bytes);

private:
    std::vector<std::vector<uint8_t>> parts_;
};
