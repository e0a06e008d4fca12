#include "views/pass_arrays.h"

#include <GL/gl.h>

#include <cstring>

void FaceArrays::clear() {
    pos.clear();
    normal.clear();
    tex.clear();
    colour.clear();
    fanCount_ = 0;
}

void FaceArrays::beginFan(const float rgb[3]) {
    fanCount_ = 0;
    std::memcpy(fanColour_, rgb, sizeof(fanColour_));
    fanStart_ = pos.size();
}

void FaceArrays::emit(const float v[8]) {
    pos.insert(pos.end(), v, v + 3);
    normal.insert(normal.end(), v + 3, v + 6);
    tex.insert(tex.end(), v + 6, v + 8);
    colour.insert(colour.end(), fanColour_, fanColour_ + 3);
}

void FaceArrays::fanVertex(const float p[3], const float n[3], const float uv[2]) {
    float v[8] = {p[0], p[1], p[2], n[0], n[1], n[2], uv[0], uv[1]};
    // A fan's triangle k is (first, previous, this).
    if (fanCount_ == 0)
        std::memcpy(first_, v, sizeof(v));
    else if (fanCount_ >= 2) {
        emit(first_);
        emit(last_);
        emit(v);
    }
    std::memcpy(last_, v, sizeof(v));
    fanCount_++;
}

void LineArrays::clear() {
    base.clear();
    baseColour.clear();
    width.clear();
    cull.clear();
    pos.clear();
    colour.clear();
    runs.clear();
    kept.clear();
}

void LineArrays::segment(const float a[3], const float b[3], const float rgb[3], float w,
                         bool alwaysDrawn) {
    base.insert(base.end(), a, a + 3);
    base.insert(base.end(), b, b + 3);
    baseColour.insert(baseColour.end(), rgb, rgb + 3);
    baseColour.insert(baseColour.end(), rgb, rgb + 3);
    width.push_back(w);
    cull.add(a, b, alwaysDrawn);
}

void draw_face_arrays(const FaceArrays& faces, bool normals, bool textured) {
    if (faces.pos.empty())
        return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, faces.pos.data());
    glColorPointer(3, GL_FLOAT, 0, faces.colour.data());
    if (normals) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 0, faces.normal.data());
    }
    if (textured) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, faces.tex.data());
    }
    glDrawArrays(GL_TRIANGLES, 0, GLsizei(faces.pos.size() / 3));
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void draw_line_arrays(LineArrays& lines, const float offset[3]) {
    // Only the kept segments are gathered, so the frame's work follows what it shows.
    lines.pos.resize(lines.kept.size() * 6);
    lines.colour.resize(lines.kept.size() * 6);
    lines.runs.clear();
    float* p = lines.pos.data();
    float* c = lines.colour.data();
    for (const int s : lines.kept) {
        const float* from = &lines.base[size_t(s) * 6];
        for (size_t k = 0; k < 6; k++)
            p[k] = from[k] + offset[k % 3];
        std::memcpy(c, &lines.baseColour[size_t(s) * 6], 6 * sizeof(float));
        p += 6;
        c += 6;
        const float w = lines.width[size_t(s)];
        if (lines.runs.empty() || lines.runs.back().width != w)
            lines.runs.push_back(LineRun{int(p - lines.pos.data()) / 3 - 2, 0, w});
        lines.runs.back().count += 2;
    }
    if (lines.kept.empty())
        return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, lines.pos.data());
    glColorPointer(3, GL_FLOAT, 0, lines.colour.data());
    for (const LineRun& run : lines.runs) {
        glLineWidth(run.width);
        glDrawArrays(GL_LINES, run.first, run.count);
    }
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void ImmediateFans::beginFan(const float rgb[3]) {
    glBegin(GL_TRIANGLE_FAN);
    glColor3fv(rgb);
}

void ImmediateFans::fanVertex(const float p[3], const float n[3], const float uv[2]) {
    glNormal3fv(n);
    glTexCoord2fv(uv);
    glVertex3fv(p);
}

void ImmediateFans::endFan() {
    glEnd();
}

ImmediateLines::ImmediateLines(const float offset[3], const std::vector<int>& kept) : kept_(kept) {
    std::memcpy(offset_, offset, sizeof(offset_));
    glLineWidth(width_);
    glBegin(GL_LINES);
}

ImmediateLines::~ImmediateLines() {
    glEnd();
}

void ImmediateLines::segment(const float a[3], const float b[3], const float rgb[3], float width,
                             bool) {
    const int index = index_++;
    if (next_ >= kept_.size() || kept_[next_] != index)
        return;
    next_++;
    if (width != width_) {
        glEnd();
        width_ = width;
        glLineWidth(width_);
        glBegin(GL_LINES);
    }
    glColor3fv(rgb);
    glVertex3f(a[0] + offset_[0], a[1] + offset_[1], a[2] + offset_[2]);
    glVertex3f(b[0] + offset_[0], b[1] + offset_[1], b[2] + offset_[2]);
}

bool InputMemo::update(size_t part, const void* data, size_t bytes) {
    if (parts_.size() <= part)
        parts_.resize(part + 1);
    std::vector<uint8_t>& kept = parts_[part];
    if (kept.size() == bytes && (bytes == 0 || std::memcmp(kept.data(), data, bytes) == 0))
        return false;
    const auto* p = static_cast<const uint8_t*>(data);
    kept.assign(p, p + bytes);
    return true;
}
