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
    pos.clear();
    colour.clear();
    runs.clear();
    offsetValid = false;
}

void LineArrays::segment(const float a[3], const float b[3], const float rgb[3], float width) {
    const int vertex = int(base.size() / 3);
    if (runs.empty() || runs.back().width != width)
        runs.push_back(LineRun{vertex, 0, width});
    runs.back().count += 2;
    base.insert(base.end(), a, a + 3);
    base.insert(base.end(), b, b + 3);
    colour.insert(colour.end(), rgb, rgb + 3);
    colour.insert(colour.end(), rgb, rgb + 3);
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
    if (lines.base.empty())
        return;
    if (!lines.offsetValid || std::memcmp(lines.offset, offset, sizeof(lines.offset)) != 0) {
        lines.pos.resize(lines.base.size());
        for (size_t i = 0; i < lines.base.size(); i += 3)
            for (size_t c = 0; c < 3; c++)
                lines.pos[i + c] = lines.base[i + c] + offset[c];
        std::memcpy(lines.offset, offset, sizeof(lines.offset));
        lines.offsetValid = true;
    }
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

ImmediateLines::ImmediateLines(const float offset[3]) {
    std::memcpy(offset_, offset, sizeof(offset_));
    glLineWidth(width_);
    glBegin(GL_LINES);
}

ImmediateLines::~ImmediateLines() {
    glEnd();
}

void ImmediateLines::segment(const float a[3], const float b[3], const float rgb[3], float width) {
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
