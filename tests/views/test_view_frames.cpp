// Frames the program renders itself, read back from an offscreen context (run under xvfb-run).
// Expected pixel positions come from the projection and camera rules, not stored pictures.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSurfaceFormat>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "document/mesh_document.h"
#include "document/undo_history.h"
#include "tools/seamgen/seam_cuts.h"
#include "views/display_textures.h"
#include "views/renderer.h"
#include "views/scene_view.h"
#include "views/uv_view.h"

namespace {

constexpr int W = 640, H = 480;
// 60 degrees across with pi as 22/7.
const float F = 1.0f / std::tan(60.0f * 0.008730159f);
const int CLEAR[3] = {165, 162, 165}; // (0.647, 0.635, 0.647) of 255

// Offscreen context drawing into a framebuffer of W x H with a depth buffer.
struct Gl {
    std::unique_ptr<QGuiApplication> app;
    std::unique_ptr<QOpenGLContext> context;
    std::unique_ptr<QOffscreenSurface> surface;
    GLuint framebuffer = 0;
    bool ready = false;
};

Gl& gl() {
    // Kept to the end of the process: tearing the context down at exit is not needed.
    static Gl& g = *new Gl();
    if (!g.app) {
        static int argc = 1;
        static char name[] = "test_view_frames";
        static char* argv[] = {name, nullptr};
        g.app = std::make_unique<QGuiApplication>(argc, argv);
        QSurfaceFormat format;
        format.setRenderableType(QSurfaceFormat::OpenGL);
        format.setProfile(QSurfaceFormat::CompatibilityProfile);
        format.setDepthBufferSize(24);
        g.context = std::make_unique<QOpenGLContext>();
        g.context->setFormat(format);
        if (!g.context->create())
            return g;
        g.surface = std::make_unique<QOffscreenSurface>();
        g.surface->setFormat(g.context->format());
        g.surface->create();
        if (!g.context->makeCurrent(g.surface.get()))
            return g;
        QOpenGLFunctions* f = g.context->functions();
        GLuint buffers[2];
        f->glGenFramebuffers(1, &g.framebuffer);
        f->glBindFramebuffer(GL_FRAMEBUFFER, g.framebuffer);
        f->glGenRenderbuffers(2, buffers);
        f->glBindRenderbuffer(GL_RENDERBUFFER, buffers[0]);
        f->glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, W, H);
        f->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                     buffers[0]);
        f->glBindRenderbuffer(GL_RENDERBUFFER, buffers[1]);
        f->glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, W, H);
        f->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                     buffers[1]);
        if (f->glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
            return g;
        g.ready = Renderer::instance().initialise();
    }
    return g;
}

struct Rgb {
    int r, g, b;
};

// Paints one frame with the layout as it stands and reads it back, top row first.
QImage paint_and_read() {
    Gl& g = gl();
    g.context->makeCurrent(g.surface.get());
    g.context->functions()->glBindFramebuffer(GL_FRAMEBUFFER, g.framebuffer);
    Renderer::instance().paint();
    QImage image(W, H, QImage::Format_RGBA8888);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    return image.mirrored().convertToFormat(QImage::Format_RGB32);
}

// One frame of the whole client area split at the ratio.
QImage frame(float splitRatio = 0.5f) {
    Renderer::instance().layout(0, 0, W, H, splitRatio);
    return paint_and_read();
}

Rgb at(const QImage& image, int x, int y) {
    const QRgb p = image.pixel(x, y);
    return Rgb{qRed(p), qGreen(p), qBlue(p)};
}

bool near(Rgb c, int r, int g, int b, int tol = 3) {
    return std::abs(c.r - r) <= tol && std::abs(c.g - g) <= tol && std::abs(c.b - b) <= tol;
}

// Some pixel within radius of (x, y) has the colour.
bool found_near(const QImage& image, int x, int y, int radius, int r, int g, int b, int tol = 3) {
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const int px = x + dx, py = y + dy;
            if (px >= 0 && py >= 0 && px < W && py < H && near(at(image, px, py), r, g, b, tol))
                return true;
        }
    return false;
}

// Window pixel of UV (u, v) in the UV view [x0, W) x [0, H) under the default UV camera.
void uv_pixel(float u, float v, int x0, float* px, float* py) {
    const UvView& view = UvView::instance();
    const float vw = float(W - x0), vh = float(H);
    const float d = -view.translation[2];
    const float cx = vw / 2, cy = vh / 2;
    *px = float(x0) + cx + cx * F * (u + view.translation[0]) / d;
    *py = cy - cy * F * (vw / vh) * (v + view.translation[1]) / d;
}

std::string write_quad() {
    const std::string path = testing::TempDir() + "views_frame_quad.obj";
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs("v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\n"
               "vt 0.2 0.2\nvt 0.8 0.2\nvt 0.8 0.8\nvt 0.2 0.8\nvn 0 0 1\n"
               "f 1/1/1 2/2/1 3/3/1 4/4/1\n",
               f);
    std::fclose(f);
    return path;
}

class ViewFrames : public testing::Test {
protected:
    void SetUp() override {
        if (!gl().ready)
            GTEST_SKIP() << "no OpenGL context";
        MeshDocument::instance().clear();
        SceneView& s = SceneView::instance();
        s.rotation[0] = s.rotation[1] = 0;
        s.pivot[0] = s.pivot[1] = s.pivot[2] = 0;
        s.mode = MODE_NONE;
        s.statusText[0] = 0;
        s.buildMatrices();
        UvView& u = UvView::instance();
        u.reset();
        u.mode = MODE_NONE;
        u.statusText[0] = 0;
        u.textureScale = 2;
        Renderer::instance().useChecker();
        DisplaySwitches::instance() = DisplaySwitches{};
    }

    void load_quad() {
        ASSERT_TRUE(MeshDocument::instance().load(write_quad().c_str()));
        MeshDocument& doc = MeshDocument::instance();
        for (MeshEdge& e : doc.edges)
            e.flags = FLAG_UNSELECTED;
        for (UvPoint& p : doc.uvs)
            p.flags = FLAG_UNSELECTED;
    }

    // Edge of the quad from UV corner a to b (corner numbers 1-based as in the file).
    MeshEdge& quad_edge(int a, int b) {
        MeshDocument& doc = MeshDocument::instance();
        const int e = doc.findEdge(a, b);
        EXPECT_GE(e, 0);
        return doc.edges[size_t(e < 0 ? 0 : e)];
    }
};

} // namespace

TEST_F(ViewFrames, EmptyDocumentShowsOnlyTheBarAndTheTripod) {
    SceneView::instance().setMode(MODE_EDGE_SELECT);
    UvView::instance().setMode(MODE_EDGE_SELECT);
    const QImage image = frame();
    EXPECT_TRUE(near(at(image, 160, 240), CLEAR[0], CLEAR[1], CLEAR[2]));
    EXPECT_TRUE(near(at(image, 480, 240), CLEAR[0], CLEAR[1], CLEAR[2]));
    // No status line without faces.
    for (int y = H - 20; y < H - 4; ++y)
        for (int x = 10; x < 120; ++x) {
            ASSERT_TRUE(near(at(image, x, y), CLEAR[0], CLEAR[1], CLEAR[2])) << x << "," << y;
            ASSERT_TRUE(near(at(image, W / 2 + x, y), CLEAR[0], CLEAR[1], CLEAR[2]));
        }
    // Bar at 2 * (W / 2) * 0.5, 8 pixels wide.
    EXPECT_TRUE(near(at(image, 320, 100), 213, 210, 205));
    EXPECT_TRUE(near(at(image, 317, 300), 213, 210, 205));
    EXPECT_TRUE(near(at(image, 311, 100), CLEAR[0], CLEAR[1], CLEAR[2]));
    // Tripod from (30, H - 30): X to the right in red, Y up in green.
    const int oy = 2 * (H / 2) - 30;
    EXPECT_TRUE(found_near(image, 40, oy, 1, 255, 0, 0));
    EXPECT_TRUE(found_near(image, 30, oy - 8, 1, 0, 255, 0));
    // The letter X in red beyond the tip of its axis.
    int red = 0;
    for (int y = oy - 6; y < oy + 10; ++y)
        for (int x = 46; x < 56; ++x)
            red += near(at(image, x, y), 255, 0, 0, 60);
    EXPECT_GT(red, 4);
}

TEST_F(ViewFrames, SplitterBarFollowsTheRatio) {
    for (float ratio : {0.1f, 0.3f, 0.9f}) {
        const QImage image = frame(ratio);
        const int xc = int(2.0f * float(W / 2) * ratio);
        EXPECT_TRUE(near(at(image, xc, 200), 213, 210, 205)) << ratio;
        EXPECT_TRUE(near(at(image, xc - 3, 200), 213, 210, 205)) << ratio;
        EXPECT_TRUE(near(at(image, xc + 7, 200), CLEAR[0], CLEAR[1], CLEAR[2])) << ratio;
        EXPECT_TRUE(near(at(image, xc - 8, 200), CLEAR[0], CLEAR[1], CLEAR[2])) << ratio;
        EXPECT_EQ(SceneView::instance().viewRect.right, int(float(W) * ratio));
        EXPECT_EQ(UvView::instance().viewRect.left, int(float(W) * ratio));
    }
}

TEST_F(ViewFrames, CheckerIsOpaqueInTheUnitSquareAtEveryRepeat) {
    load_quad();
    for (int scale = 1; scale <= 4; ++scale) {
        UvView::instance().textureScale = scale;
        const QImage image = frame();
        const float t = texture_repeat(scale);
        const int squares = int(16 * t);
        int checked = 0;
        for (int i = 0; i < squares; ++i)
            for (int j = 0; j < squares; ++j) {
                const float u = (float(j) + 0.5f) / float(squares);
                const float v = (float(i) + 0.5f) / float(squares);
                // Keep clear of grid lines and of the quad's outline.
                const auto clear_of = [&](float c) {
                    const float tenths = c * 10.0f;
                    return std::fabs(tenths - std::round(tenths)) > 0.15f;
                };
                if (!clear_of(u) || !clear_of(v))
                    continue;
                float px, py;
                uv_pixel(u, v, W / 2, &px, &py);
                // Texel colour times the tile colour 0.7, opaque.
                const int grey = ((i ^ j) & 1) ? int(55 * 0.7f) : int(200 * 0.7f);
                EXPECT_TRUE(near(at(image, int(px), int(py)), grey, grey, grey, 3))
                    << "scale " << scale << " square " << i << "," << j;
                ++checked;
            }
        EXPECT_GE(checked, 16) << scale;
        // Below the unit square the tile is faint: a fifth of the texel over the clear colour.
        float px, py;
        uv_pixel(0.55f, -0.25f, W / 2, &px, &py);
        const Rgb c = at(image, int(px), int(py));
        const int light = int(0.2f * 0.7f * 200 + 0.8f * CLEAR[1]);
        const int dark = int(0.2f * 0.7f * 55 + 0.8f * CLEAR[1]);
        EXPECT_TRUE(std::abs(c.g - light) <= 3 || std::abs(c.g - dark) <= 3) << c.g;
    }
}

TEST_F(ViewFrames, GridLinesAtIntegersAndTenths) {
    load_quad();
    const QImage image = frame();
    float px, py;
    uv_pixel(0.0f, 1.2f, W / 2, &px, &py);
    EXPECT_TRUE(found_near(image, int(px), int(py), 2, 0, 51, 178));
    uv_pixel(1.0f, -0.25f, W / 2, &px, &py);
    EXPECT_TRUE(found_near(image, int(px), int(py), 2, 0, 51, 178));
    uv_pixel(0.5f, 1.25f, W / 2, &px, &py);
    EXPECT_TRUE(found_near(image, int(px), int(py), 1, 128, 128, 128));
    // Between lines there is none of the integer colour.
    uv_pixel(0.05f, 1.25f, W / 2, &px, &py);
    EXPECT_FALSE(found_near(image, int(px), int(py), 2, 0, 51, 178));
}

TEST_F(ViewFrames, EdgeColoursFollowSeamAndSelection) {
    load_quad();
    quad_edge(1, 2).flags = FLAG_UNSELECTED | FLAG_SEAM;
    quad_edge(2, 3).flags = FLAG_SELECTED;
    quad_edge(3, 4).flags = FLAG_SELECTED | FLAG_SEAM;
    quad_edge(4, 1).flags = FLAG_UNSELECTED;
    const QImage image = frame();
    float px, py;
    uv_pixel(0.4f, 0.2f, W / 2, &px, &py);
    EXPECT_TRUE(found_near(image, int(px), int(py), 1, 255, 0, 0)) << "seam red";
    uv_pixel(0.8f, 0.4f, W / 2, &px, &py);
    EXPECT_TRUE(found_near(image, int(px), int(py), 1, 255, 163, 0)) << "selected orange";
    uv_pixel(0.4f, 0.8f, W / 2, &px, &py);
    EXPECT_TRUE(found_near(image, int(px), int(py), 1, 255, 0, 255)) << "selected seam magenta";
    uv_pixel(0.2f, 0.4f, W / 2, &px, &py);
    EXPECT_TRUE(found_near(image, int(px), int(py), 1, 255, 255, 255)) << "plain white";

    // The same edges in the 3D view, camera straight on at distance 1.8.
    const MeshDocument& doc = MeshDocument::instance();
    const auto scene_pixel = [&](const Vec3& p, float* sx, float* sy) {
        const float cx = W / 4.0f, cy = H / 2.0f, w = 1.8f - p.z;
        *sx = cx + cx * F * p.x / w;
        *sy = cy - cy * F * (float(W / 2) / float(H)) * p.y / w;
    };
    const auto mid = [&](int a, int b, float f) {
        const Vec3 &pa = doc.vertices[size_t(a)], &pb = doc.vertices[size_t(b)];
        return Vec3{pa.x + f * (pb.x - pa.x), pa.y + f * (pb.y - pa.y), pa.z + f * (pb.z - pa.z)};
    };
    scene_pixel(mid(1, 2, 0.4f), &px, &py);
    EXPECT_TRUE(found_near(image, int(px), int(py), 1, 255, 0, 0)) << "3D seam";
    scene_pixel(mid(3, 4, 0.4f), &px, &py);
    EXPECT_TRUE(found_near(image, int(px), int(py), 1, 255, 0, 255)) << "3D selected seam";
    scene_pixel(mid(4, 1, 0.4f), &px, &py);
    EXPECT_TRUE(found_near(image, int(px), int(py), 1, 0, 255, 255)) << "3D plain cyan";
}

TEST_F(ViewFrames, PinnedAndSelectedPointsShowBothSquares) {
    load_quad();
    MeshDocument& doc = MeshDocument::instance();
    const int corner = doc.faces[0].uvIndices[0];
    doc.uvs[size_t(corner)].flags = FLAG_SELECTED | FLAG_PINNED;
    const QImage image = frame();
    float px, py;
    const UvPoint& p = doc.uvs[size_t(corner)];
    uv_pixel(p.u, p.v, W / 2, &px, &py);
    // Small yellow square 2 pixels out, large blue one 4 out.
    EXPECT_TRUE(found_near(image, int(px) - 2, int(py) - 2, 1, 255, 255, 0));
    EXPECT_TRUE(found_near(image, int(px) - 4, int(py) + 4, 1, 0, 128, 255));
}

TEST_F(ViewFrames, StatusTextIsDrawnAtTheBottomLeft) {
    load_quad();
    const auto white_in_uv_status = [&](const QImage& image) {
        int white = 0;
        for (int y = H - 20; y < H - 2; ++y)
            for (int x = W / 2 + 10; x < W / 2 + 130; ++x)
                white += near(at(image, x, y), 255, 255, 255, 30);
        return white;
    };
    EXPECT_EQ(white_in_uv_status(frame()), 0);
    UvView::instance().setMode(MODE_UV_SELECT);
    const QImage image = frame();
    if (std::getenv("VIEW_FRAME_DUMP"))
        image.save(QString::fromLocal8Bit(std::getenv("VIEW_FRAME_DUMP")));
    EXPECT_GT(white_in_uv_status(image), 40);
}

TEST_F(ViewFrames, StretchDisplayColoursTheUvFans) {
    load_quad();
    MeshDocument& doc = MeshDocument::instance();
    DisplaySwitches::instance().showStretch = 1;
    DisplaySwitches::instance().wireframe = 1;
    Renderer::instance().useWhite();
    doc.computeStretch();
    // One face: its chart's mean is its own ratio, so it is green.
    float px, py;
    uv_pixel(0.55f, 0.45f, W / 2, &px, &py);
    const QImage image = frame();
    float rgb[3];
    stretch_colour(doc.faces[0].stretchShade, rgb);
    EXPECT_TRUE(near(at(image, int(px), int(py)), int(rgb[0] * 255), int(rgb[1] * 255),
                     int(rgb[2] * 255), 3));
    EXPECT_TRUE(near(at(image, int(px), int(py)), 0, 255, 0, 3));
    // Wireframe: no face in 3D, the clear colour shows through at the view centre.
    EXPECT_TRUE(near(at(image, W / 4 + 7, H / 2 + 7), CLEAR[0], CLEAR[1], CLEAR[2]));
}

TEST_F(ViewFrames, TripodFollowsTheRotationInTheSameFrame) {
    // Yaw 180 (a little more, with pi as 22/7) turns the X axis to point left.
    SceneView::instance().rotation[1] = 180;
    const QImage image = frame();
    const int oy = 2 * (H / 2) - 30;
    EXPECT_TRUE(found_near(image, 20, oy, 1, 255, 0, 0));
    EXPECT_FALSE(found_near(image, 40, oy, 1, 255, 0, 0));
}

TEST_F(ViewFrames, ViewWithoutAreaDrawsNothing) {
    load_quad();
    UvView::instance().setMode(MODE_UV_SELECT);
    frame();
    // A UV view squeezed to nothing: its side shows the clear colour, the 3D view still draws.
    Renderer::instance().layout(0, 0, W, H, 0.5f);
    UvView::instance().viewRect.right = UvView::instance().viewRect.left;
    const QImage image = paint_and_read();
    for (int y = 10; y < H; y += 37)
        for (int x = W / 2 + 8; x < W; x += 23)
            EXPECT_TRUE(near(at(image, x, y), CLEAR[0], CLEAR[1], CLEAR[2])) << x << "," << y;
    EXPECT_FALSE(near(at(image, W / 4, H / 2), CLEAR[0], CLEAR[1], CLEAR[2]));
}

TEST_F(ViewFrames, ColourPictureIsUprightWithItsPaletteReordered) {
    load_quad();
    Renderer::instance().useColourNumbers();
    const QImage image = frame();
    const HeldImage& picture = held_colour_picture();
    uint8_t palette[1024];
    palette_reorder(picture.palette, palette);
    // Texels near the top of the first and the last row of cells, clear of numbers and
    // borders: the stored top row shows at v = 1.
    for (int cell : {0, 7, 56, 63}) {
        const int tx = (cell % 8) * 32 + 16, ty = (cell / 8) * 32 + 4;
        const uint8_t* entry = palette + 4 * picture.pixels[ty * 256 + tx];
        float px, py;
        uv_pixel((float(tx) + 0.5f) / 256.0f, 1.0f - (float(ty) + 0.5f) / 256.0f, W / 2, &px, &py);
        EXPECT_TRUE(near(at(image, int(px), int(py)), int(entry[0] * 0.7f), int(entry[1] * 0.7f),
                         int(entry[2] * 0.7f), 4))
            << "cell " << cell;
    }
}

TEST_F(ViewFrames, SelectionRectangleIsAWhiteOutline) {
    load_quad();
    UvView& u = UvView::instance();
    u.rectActive = 1;
    u.selectRect[0] = 40;
    u.selectRect[1] = 30;
    u.selectRect[2] = 120;
    u.selectRect[3] = 70;
    const QImage image = frame();
    u.rectActive = 0;
    EXPECT_TRUE(found_near(image, W / 2 + 80, 30, 1, 255, 255, 255, 2));
    EXPECT_TRUE(found_near(image, W / 2 + 80, 70, 1, 255, 255, 255, 2));
    EXPECT_TRUE(found_near(image, W / 2 + 40, 50, 1, 255, 255, 255, 2));
    EXPECT_TRUE(found_near(image, W / 2 + 120, 50, 1, 255, 255, 255, 2));
    EXPECT_FALSE(found_near(image, W / 2 + 80, 50, 3, 255, 255, 255, 2));
}

TEST_F(ViewFrames, AnchorEdgeIsHighlightedOnlyInThePathMode) {
    load_quad();
    MeshDocument& doc = MeshDocument::instance();
    doc.anchorEdge = doc.findEdge(1, 2);
    ASSERT_GE(doc.anchorEdge, 0);
    float px, py;
    uv_pixel(0.4f, 0.2f, W / 2, &px, &py);
    EXPECT_FALSE(found_near(frame(), int(px), int(py), 1, 255, 255, 0));
    SceneView::instance().setMode(MODE_EDGE_TOPOLOGICAL);
    const QImage image = frame();
    EXPECT_TRUE(found_near(image, int(px), int(py), 1, 255, 255, 0));
    // Four pixels wide.
    EXPECT_TRUE(found_near(image, int(px), int(py) + 1, 0, 255, 255, 0) ||
                found_near(image, int(px), int(py) - 2, 0, 255, 255, 0));
    doc.anchorEdge = -1;
}

TEST_F(ViewFrames, PivotCrossShowsInThePivotMode) {
    load_quad();
    // Model point (0.85, 0, 0) lies on the cross beyond the quad (whose corners are at 0.707).
    const float cx = W / 4.0f, cy = H / 2.0f;
    const int x = int(cx + cx * F * 0.85f / 1.8f);
    EXPECT_FALSE(found_near(frame(), x, int(cy), 1, 255, 255, 255, 2));
    SceneView::instance().setMode(MODE_PIVOT);
    EXPECT_TRUE(found_near(frame(), x, int(cy), 1, 255, 255, 255, 2));
}

TEST_F(ViewFrames, SceneFacesRepeatTheTextureWithTheUvView) {
    load_quad();
    const MeshDocument& doc = MeshDocument::instance();
    // The quad's corners 1 and 3 carry UVs (0.2, 0.2) and (0.8, 0.8); it faces the camera
    // flat, so a UV point maps to its model point linearly.
    const Vec3 lo = doc.vertices[1], hi = doc.vertices[3];
    const float cx = W / 4.0f, cy = H / 2.0f;
    for (int scale = 1; scale <= 4; ++scale) {
        UvView::instance().textureScale = scale;
        const QImage image = frame();
        const float t = texture_repeat(scale);
        const int squares = int(16 * t);
        struct Sample {
            int grey;
            bool light;
        };
        std::vector<Sample> samples;
        for (int i = 0; i < squares; ++i)
            for (int j = 0; j < squares; ++j) {
                const float u = (float(j) + 0.5f) / float(squares);
                const float v = (float(i) + 0.5f) / float(squares);
                if (u < 0.25f || u > 0.75f || v < 0.25f || v > 0.75f)
                    continue;
                const float x = lo.x + (u - 0.2f) / 0.6f * (hi.x - lo.x);
                const float y = lo.y + (v - 0.2f) / 0.6f * (hi.y - lo.y);
                const float sx = cx + cx * F * x / 1.8f;
                const float sy = cy - cy * F * (float(W / 2) / float(H)) * y / 1.8f;
                samples.push_back(Sample{at(image, int(sx), int(sy)).g, ((i ^ j) & 1) == 0});
            }
        ASSERT_GE(samples.size(), 4u) << scale;
        int lightest = 0, darkest = 255;
        for (const Sample& s : samples) {
            lightest = std::max(lightest, s.grey);
            darkest = std::min(darkest, s.grey);
        }
        EXPECT_GT(lightest, 2 * darkest) << scale;
        for (const Sample& s : samples)
            EXPECT_EQ(s.grey > (lightest + darkest) / 2, s.light) << "scale " << scale;
    }
}

namespace {

// The arrays must give the very pixels that drawing vertex by vertex gives: on real meshes cut
// into charts and unwrapped, in every display mode, texture, selection state and camera.
struct DrawCase {
    const char* name;
    void (*set)(MeshDocument& doc);
};

void select_some(MeshDocument& doc) {
    for (int e = 0; e < doc.edgeCount; e += 7)
        doc.edges[size_t(e)].flags = FLAG_SELECTED | (e % 2 ? FLAG_SEAM : 0);
    for (int e = 3; e < doc.edgeCount; e += 11)
        doc.edges[size_t(e)].flags |= FLAG_PICK_ADD;
    for (int i = 0; i < doc.uvCount; i += 5)
        doc.uvs[size_t(i)].flags = i % 3 ? FLAG_SELECTED : FLAG_UNSELECTED | FLAG_PINNED;
}

const DrawCase DRAW_CASES[] = {
    {"plain", [](MeshDocument&) {}},
    {"wireframe", [](MeshDocument&) { DisplaySwitches::instance().wireframe = 1; }},
    {"stretch",
     [](MeshDocument& doc) {
         Renderer::instance().useWhite();
         DisplaySwitches::instance().showStretch = 1;
         doc.computeStretch();
     }},
    {"colour numbers, finest repeat",
     [](MeshDocument&) {
         Renderer::instance().useColourNumbers();
         UvView::instance().textureScale = 4;
     }},
    {"selection, picks, pins and seams", select_some},
    {"edge path anchor",
     [](MeshDocument& doc) {
         SceneView::instance().mode = MODE_EDGE_TOPOLOGICAL;
         doc.anchorEdge = doc.edgeCount / 3;
     }},
    {"turned camera",
     [](MeshDocument&) {
         SceneView::instance().rotation[0] = 35;
         SceneView::instance().rotation[1] = -60;
         UvView::instance().translation[2] = -0.6f;
     }},
};

int differing_pixels(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

// A real mesh cut into discs along slabs and unwrapped.
bool load_unwrapped(const char* name) {
    MeshDocument& doc = MeshDocument::instance();
    const std::string path = std::string(MARROWBY_MESH_DIR) + "/" + name;
    if (!doc.load(path.c_str()))
        return false;
    for (auto [a, b] : seams_to_discs(doc, seams_along_slabs(doc, 6))) {
        const int e = doc.findEdge(a + 1, b + 1);
        if (e >= 0)
            doc.edges[size_t(e)].flags |= FLAG_SEAM;
    }
    UndoHistory::instance().push();
    doc.unwrapNow();
    return true;
}

// Views, switches and the document's marks as a draw case starts from.
void start_draw_case(MeshDocument& doc, const std::vector<MeshEdge>& edges,
                     const std::vector<UvPoint>& uvs) {
    SceneView& s = SceneView::instance();
    s.rotation[0] = s.rotation[1] = 0;
    s.mode = MODE_NONE;
    UvView::instance().reset();
    UvView::instance().textureScale = 2;
    Renderer::instance().useChecker();
    DisplaySwitches::instance() = DisplaySwitches{};
    doc.edges = edges;
    doc.uvs = uvs;
    doc.anchorEdge = -1;
}

TEST_F(ViewFrames, ArraysDrawTheSamePixelsAsVertexByVertex) {
    for (const char* name : {"bunny.obj", "snowden.obj"}) {
        MeshDocument& doc = MeshDocument::instance();
        ASSERT_TRUE(load_unwrapped(name)) << name;
        const std::vector<MeshEdge> edges = doc.edges;
        const std::vector<UvPoint> uvs = doc.uvs;
        for (const DrawCase& c : DRAW_CASES) {
            start_draw_case(doc, edges, uvs);
            c.set(doc);
            Renderer::instance().immediateMode = 1;
            const QImage expected = frame();
            Renderer::instance().immediateMode = 0;
            const QImage arrays = frame();
            EXPECT_EQ(differing_pixels(expected, arrays), 0) << name << ", " << c.name;
            // The next frame reuses the arrays; a turned camera moves the lines' offset.
            SceneView::instance().rotation[1] += 20;
            Renderer::instance().immediateMode = 1;
            const QImage turnedExpected = frame();
            Renderer::instance().immediateMode = 0;
            EXPECT_EQ(differing_pixels(turnedExpected, frame()), 0) << name << ", " << c.name;
        }
    }
    UndoHistory::instance().clear();
    MeshDocument::instance().clear();
}

} // namespace

namespace {

// Regions of the two views in the frame, clear of the splitter bar.
struct Region {
    int x0, x1;
};
constexpr Region SCENE_REGION{0, W / 2 - 8};
constexpr Region UV_REGION{W / 2 + 8, W};

int count_colour(const QImage& image, Region region, int r, int g, int b, int tol = 3) {
    int n = 0;
    for (int y = 0; y < H; y++)
        for (int x = region.x0; x < region.x1; x++)
            n += near(at(image, x, y), r, g, b, tol);
    return n;
}

// Light and dark checker squares on the 3D faces: the checker frame over the same frame with
// the white texture is the texel, 200 or 55 of 255, wherever a face shows.
struct CheckerShare {
    int light = 0, dark = 0, faces = 0;
};

CheckerShare checker_on_faces(const QImage& checker, const QImage& white) {
    CheckerShare share;
    for (int y = 0; y < H; y++)
        for (int x = SCENE_REGION.x0; x < SCENE_REGION.x1; x++) {
            const Rgb w = at(white, x, y), c = at(checker, x, y);
            if (w.g < 60 || std::abs(w.r - w.g) > 2 || std::abs(w.b - w.g) > 2 ||
                near(w, CLEAR[0], CLEAR[1], CLEAR[2], 1))
                continue; // no lit face here
            share.faces++;
            const float ratio = float(c.g) / float(w.g);
            share.light += ratio > 0.68f && ratio < 0.88f;
            share.dark += ratio > 0.12f && ratio < 0.32f;
        }
    return share;
}

void frame_dump(const QImage& image, const char* name) {
    if (const char* dir = std::getenv("VIEW_FRAME_DUMP_DIR"))
        image.save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
}

} // namespace

TEST_F(ViewFrames, DenseMeshShowsTheCheckerAtTheDefaultZoom) {
    ASSERT_TRUE(load_unwrapped("snowden.obj"));
    Renderer& renderer = Renderer::instance();
    for (float shortPixels : {SHORT_SEGMENT_PIXELS, 0.0f}) {
        renderer.shortSegmentPixels = shortPixels;
        const QImage checker = frame();
        renderer.useWhite();
        const QImage white = frame();
        renderer.useChecker();
        frame_dump(checker, shortPixels > 0 ? "dense_checker" : "dense_checker_all_edges");
        const CheckerShare share = checker_on_faces(checker, white);
        const int silhouette =
            SCENE_REGION.x1 * H - count_colour(white, SCENE_REGION, CLEAR[0], CLEAR[1], CLEAR[2]);
        // Light squares in the unit square of the UV view, clear of the lines.
        const int uvLight = count_colour(checker, UV_REGION, 140, 140, 140, 2);
        const int uvDark = count_colour(checker, UV_REGION, 38, 38, 38, 2);
        if (shortPixels > 0) {
            EXPECT_GT(share.light, silhouette / 10) << silhouette;
            EXPECT_GT(share.dark, silhouette / 10) << silhouette;
            EXPECT_GT(uvLight, 2000);
            EXPECT_GT(uvDark, 2000);
        } else {
            // The contrast: every edge drawn paints the faces over.
            EXPECT_LT(share.light + share.dark, silhouette / 10) << silhouette;
        }
    }
    renderer.shortSegmentPixels = SHORT_SEGMENT_PIXELS;
    UndoHistory::instance().clear();
    MeshDocument::instance().clear();
}

// Where edges do not crowd nothing is left out: the bunny's frames are the same pixels as with
// every edge drawn, in every display mode, selection and camera. (In this small frame its UV
// charts crowd as much as snowden's faces do in the window, so the UV view comes closer.)
TEST_F(ViewFrames, SparseMeshFramesAreTheSameAsWithEveryEdgeDrawn) {
    MeshDocument& doc = MeshDocument::instance();
    ASSERT_TRUE(load_unwrapped("bunny.obj"));
    const std::vector<MeshEdge> edges = doc.edges;
    const std::vector<UvPoint> uvs = doc.uvs;
    Renderer& renderer = Renderer::instance();
    for (const DrawCase& c : DRAW_CASES) {
        start_draw_case(doc, edges, uvs);
        UvView::instance().translation[2] = -0.6f;
        c.set(doc);
        renderer.shortSegmentPixels = 0;
        const QImage every = frame();
        renderer.shortSegmentPixels = SHORT_SEGMENT_PIXELS;
        const QImage ruled = frame();
        EXPECT_EQ(differing_pixels(every, ruled), 0) << c.name;
    }
    UndoHistory::instance().clear();
    MeshDocument::instance().clear();
}

// Zoomed in, the same mesh's edges are long on screen again and come back in both views.
TEST_F(ViewFrames, DenseMeshEdgesComeBackCloseUp) {
    ASSERT_TRUE(load_unwrapped("snowden.obj"));
    Renderer& renderer = Renderer::instance();
    // Close up, the UV view looks at the first face's first UV point, inside a chart.
    const MeshDocument& doc = MeshDocument::instance();
    const UvPoint& inside = doc.uvs[size_t(doc.faces[0].uvIndices[0])];
    const auto edge_pixels = [&](float sceneDistance, float uvDistance, int* scene, int* uv) {
        SceneView::instance().translation[2] = -sceneDistance;
        UvView& view = UvView::instance();
        view.reset();
        view.translation[2] = -uvDistance;
        if (uvDistance < 1) {
            view.translation[0] = -inside.u;
            view.translation[1] = -inside.v;
        }
        const QImage image = frame();
        frame_dump(image, uvDistance < 1 ? "dense_close" : "dense_far");
        *scene = count_colour(image, SCENE_REGION, 0, 255, 255);
        *uv = count_colour(image, UV_REGION, 255, 255, 255);
    };
    struct Zoom {
        float scene, uv;
        bool edgesShow;
    };
    for (const Zoom z : {Zoom{1.8f, 1.0f, false}, Zoom{0.5f, 0.05f, true}}) {
        int scene = 0, uv = 0, sceneAll = 0, uvAll = 0;
        renderer.shortSegmentPixels = 0;
        edge_pixels(z.scene, z.uv, &sceneAll, &uvAll);
        renderer.shortSegmentPixels = SHORT_SEGMENT_PIXELS;
        edge_pixels(z.scene, z.uv, &scene, &uv);
        ASSERT_GT(sceneAll, 1000) << z.scene;
        ASSERT_GT(uvAll, 1000) << z.uv;
        if (z.edgesShow) {
            EXPECT_EQ(scene, sceneAll) << "3D at " << z.scene;
            EXPECT_EQ(uv, uvAll) << "UV at " << z.uv;
        } else {
            EXPECT_LT(scene, sceneAll / 4) << "3D at " << z.scene;
            EXPECT_LT(uv, uvAll / 4) << "UV at " << z.uv;
        }
    }
    SceneView::instance().resetCamera();
    UndoHistory::instance().clear();
    MeshDocument::instance().clear();
}

// What the flags show in colour is drawn however short it is on screen, in both views, and so
// are the pins' squares.
TEST_F(ViewFrames, MarkedEdgesAndPinsShowOnADenseMeshAtTheDefaultZoom) {
    ASSERT_TRUE(load_unwrapped("snowden.obj"));
    MeshDocument& doc = MeshDocument::instance();
    const std::vector<MeshEdge> edges = doc.edges;
    const std::vector<UvPoint> uvs = doc.uvs;
    struct Mark {
        const char* name;
        int32_t edgeFlags, uvFlags;
        Rgb colour;
    };
    const Mark marks[] = {
        {"selected", FLAG_SELECTED, 0, {255, 163, 0}},
        {"pick preview", FLAG_UNSELECTED | FLAG_PICK_ADD, 0, {255, 163, 0}},
        {"selected seam", FLAG_SELECTED | FLAG_SEAM, 0, {255, 0, 255}},
        {"pinned", 0, FLAG_UNSELECTED | FLAG_PINNED, {0, 128, 255}},
    };
    for (const Mark& m : marks) {
        doc.edges = edges;
        doc.uvs = uvs;
        // Plain edges only, every fiftieth: each short on screen among crowded ones.
        int marked = 0;
        for (int e = 0; e < doc.edgeCount && m.edgeFlags; e += 50)
            if ((doc.edges[size_t(e)].flags & (FLAG_SEAM | FLAG_AUTO_CUT)) == 0) {
                doc.edges[size_t(e)].flags = m.edgeFlags;
                marked++;
            }
        for (int i = 0; i < doc.uvCount && m.uvFlags; i += 50, marked++)
            doc.uvs[size_t(i)].flags = m.uvFlags;
        ASSERT_GT(marked, 100) << m.name;
        const QImage image = frame();
        const Rgb c = m.colour;
        EXPECT_GT(count_colour(image, SCENE_REGION, c.r, c.g, c.b), 100) << m.name;
        EXPECT_GT(count_colour(image, UV_REGION, c.r, c.g, c.b), 100) << m.name;
    }
    UndoHistory::instance().clear();
    MeshDocument::instance().clear();
}
