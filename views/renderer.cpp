#include "views/renderer.h"

#include <GL/gl.h>

#include <cmath>

#include "document/mesh_document.h"
#include "views/display_textures.h"
#include "views/glyph_font.h"
#include "views/scene_view.h"
#include "views/uv_view.h"
#include "views/view_math.h"

DisplaySwitches& DisplaySwitches::instance() {
    static DisplaySwitches* switches = new DisplaySwitches();
    return *switches;
}

Renderer& Renderer::instance() {
    static Renderer* renderer = new Renderer();
    return *renderer;
}

void renderer_projection(float out[16], int w, int h, float nearPlane, float farPlane) {
    for (int i = 0; i < 16; ++i)
        out[i] = 0;
    if (w <= 0 || h <= 0)
        return;
    // 60 degrees across with pi taken as 22/7: half the angle is 60 x 0.008730159 radians.
    const float f = 1.0f / std::tan(60.0f * 0.008730159f);
    out[0] = f;
    out[5] = f * float(w) / float(h);
    out[10] = -(farPlane + nearPlane) / (farPlane - nearPlane);
    out[11] = -1;
    out[14] = -2 * farPlane * nearPlane / (farPlane - nearPlane);
}

void renderer_layout(int left, int top, int right, int bottom, float splitRatio, ViewRect* scene,
                     ViewRect* uv) {
    // The split is taken from right, not from the width: the client rectangle starts at 0.
    const int xSplit = int(float(right) * splitRatio);
    *scene = ViewRect{left, top, xSplit, bottom};
    *uv = ViewRect{xSplit, top, right, bottom};
}

float texture_repeat(int textureScale) {
    switch (textureScale) {
    case 1:
        return 0.5f;
    case 3:
        return 2.0f;
    case 4:
        return 4.0f;
    default:
        return 1.0f;
    }
}

bool Renderer::initialise() {
    // Without a current context glGetString answers null.
    if (!glGetString(GL_VERSION))
        return false;
    drawAxisLabels = 1;
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    glEnable(GL_LIGHTING);
    glDisable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const float ambient[4] = {0.2f, 0.2f, 0.2f, 0};
    const float diffuse[4] = {0.5f, 0.5f, 0.5f, 0};
    const float position[4] = {100, -100, 100, 1};
    const float spot[3] = {0, 1, 0};
    glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT1, GL_POSITION, position);
    glLightfv(GL_LIGHT1, GL_SPOT_DIRECTION, spot);
    const float globalAmbient[4] = {0, 0, 0, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, globalAmbient);
    glClearColor(clearColour[0], clearColour[1], clearColour[2], 1);
    build_display_textures(&whiteTexture, &checkerTexture, &colourNumbersTexture);
    currentTexture = checkerTexture;
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    initialised = 1;
    return true;
}

void Renderer::layout(int left, int top, int right, int bottom, float ratio) {
    clientLeft = left;
    clientTop = top;
    clientRight = right;
    clientBottom = bottom;
    splitRatio = ratio;
    renderer_layout(left, top, right, bottom, ratio, &SceneView::instance().viewRect,
                    &UvView::instance().viewRect);
}

void Renderer::resize(int width, int height) {
    layout(0, 0, width, height, splitRatio);
}

void Renderer::setViewport(int left, int right, int top, int bottom, float nearPlane,
                           float farPlane) {
    const int w = right - left, h = bottom - top;
    renderer_projection(projection, w, h, nearPlane, farPlane);
    viewportWidth = w;
    viewportHeight = h;
    if (!inFrame)
        return;
    glViewport(left, top, w > 0 ? w : 0, h > 0 ? h : 0);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(projection);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void Renderer::beginFrame() {
    glClearColor(clearColour[0], clearColour[1], clearColour[2], 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void Renderer::endFrame() {
    glFlush();
}

void Renderer::drawOverlay() {
    const int W = clientRight - clientLeft, H = clientBottom - clientTop;
    if (W <= 0 || H <= 0)
        return;
    const float hw = W * 0.5f, hh = H * 0.5f;
    auto nx = [&](float px) { return px / hw - 1; };
    auto ny = [&](float py) { return 1 - py / hh; };
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT | GL_LINE_BIT);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    const float xc = 2.0f * float(W / 2) * splitRatio;
    glColor4f(0.836f, 0.824f, 0.805f, 1);
    glBegin(GL_QUADS);
    glVertex3f(nx(xc - 4), ny(0), 0.5f);
    glVertex3f(nx(xc + 4), ny(0), 0.5f);
    glVertex3f(nx(xc + 4), ny(float(H)), 0.5f);
    glVertex3f(nx(xc - 4), ny(float(H)), 0.5f);
    glEnd();

    // The tripod is drawn before the 3D pass rebuilds the camera: rebuild it here too, or the
    // tripod would show the rotation of the frame before.
    SceneView::instance().buildMatrices();
    const float* m = SceneView::instance().axisMatrix;
    const float ox = 30, oy = float(2 * (H / 2) - 30);
    const float axes[3][3] = {{20, 0, 0}, {0, -20, 0}, {0, 0, 20}};
    float tips[3][2];
    glBegin(GL_LINES);
    for (int a = 0; a < 3; ++a) {
        const float* v = axes[a];
        tips[a][0] = m[0] * v[0] + m[4] * v[1] + m[8] * v[2];
        tips[a][1] = m[1] * v[0] + m[5] * v[1] + m[9] * v[2];
        glColor3f(a == 0 ? 2.0f : 0.0f, a == 1 ? 2.0f : 0.0f, a == 2 ? 2.0f : 0.0f);
        glVertex3f(nx(ox), ny(oy), 0);
        glVertex3f(nx(ox + tips[a][0]), ny(oy + tips[a][1]), 0);
    }
    glEnd();
    if (drawAxisLabels) {
        glEnable(GL_TEXTURE_2D);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, 0.01f);
        const char* letters[3] = {"X", "Y", "Z"};
        const uint32_t colours[3] = {0xff0000, 0x00ff00, 0x0000ff};
        for (int a = 0; a < 3; ++a)
            GlyphFont::instance().drawText(letters[a], int(ox - 4 + tips[a][0]),
                                           int(oy - 6 + tips[a][1]), colours[a], hw, hh);
    }
    glPopAttrib();
}

void Renderer::paint() {
    // A window that paints before it set the context up still gets the fixed state.
    if (!initialised && !initialise())
        return;
    inFrame = 1;
    setViewport(clientLeft, clientRight, clientTop, clientBottom, 1.0f, 65535.0f);
    beginFrame();
    drawOverlay();
    SceneView& scene = SceneView::instance();
    UvView& uv = UvView::instance();
    const bool hasFaces = MeshDocument::instance().faceCount > 0;
    const ViewRect& s = scene.viewRect;
    if (hasFaces && s.right > s.left && s.bottom > s.top) {
        setViewport(s.left, s.right, s.top, s.bottom, 0.01f, 65535.0f);
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        scene.draw(scene.mode == MODE_EDGE_TOPOLOGICAL);
    }
    const ViewRect& u = uv.viewRect;
    if (hasFaces && u.right > u.left && u.bottom > u.top) {
        setViewport(u.left, u.right, u.top, u.bottom, 0.01f, 65535.0f);
        glDisable(GL_TEXTURE_2D);
        uv.draw(scene.mode == MODE_EDGE_TOPOLOGICAL);
    }
    endFrame();
    inFrame = 0;
}
