#pragma once

#include <cstdint>

#include "views/segment_cull.h"
#include "views/view_types.h"

// The one OpenGL context's state and the frame. The window owns the context itself: it makes
// the context current before calling initialise() and paint() (from its GL paint handler) and
// presents the frame afterwards. Drawing is OpenGL 1.1 immediate mode in whatever context is
// current.
//
// Window side, in order:
//   Renderer::instance().initialise();             // once, context current
//   Renderer::instance().layout(l, t, r, b, ratio); // every size change and before every frame
//   Renderer::instance().paint();                   // context current
// resize(w, h) is layout(0, 0, w, h, last ratio).
// What the frame needs of the window's surface: draw to window with OpenGL, double buffered,
// RGBA with 24 colour bits, 32 depth bits (the nearest the platform offers), no alpha,
// accumulation or stencil bits. initialise() answers false when no context is current; the
// window then reports that and stops.
struct PixelFormatNeeds {
    int colourBits = 24;
    int depthBits = 32;
    int alphaBits = 0;
    int stencilBits = 0;
    bool doubleBuffer = true;
};
constexpr PixelFormatNeeds RENDERER_PIXEL_FORMAT{};

class Renderer {
public:
    static Renderer& instance();

    // createContext's fixed state and textures, in the current context. Returns false when no
    // context is current (nothing is then drawn by paint()).
    bool initialise();
    bool createContext() { return initialise(); }

    // Client rectangle and split ratio: sets both views' rectangles.
    void layout(int left, int top, int right, int bottom, float splitRatio);
    void resize(int width, int height);

    // One frame: overlay, 3D pass, UV pass. No swap: the window presents.
    void paint();

    // Projection of a view rectangle; GL calls only inside a frame, the matrix always.
    void setViewport(int left, int right, int top, int bottom, float nearPlane, float farPlane);
    void beginFrame();
    void endFrame();

    void useChecker() { currentTexture = checkerTexture; }
    void useColourNumbers() { currentTexture = colourNumbersTexture; }
    void useWhite() { currentTexture = whiteTexture; }

    uint8_t drawAxisLabels = 0;
    // Draw the mesh vertex by vertex instead of from the arrays (the same pixels; for tests).
    uint8_t immediateMode = 0;
    // Plain edges shorter on screen than this are left out (0 draws every edge).
    float shortSegmentPixels = SHORT_SEGMENT_PIXELS;
    float projection[16] = {};
    int32_t viewportWidth = 0, viewportHeight = 0;
    float clearColour[3] = {0.647f, 0.635f, 0.647f};
    unsigned currentTexture = 0;
    unsigned checkerTexture = 0, colourNumbersTexture = 0, whiteTexture = 0;

    // Client rectangle and split of the last layout.
    int32_t clientLeft = 0, clientTop = 0, clientRight = 0, clientBottom = 0;
    float splitRatio = 0.5f;
    uint8_t initialised = 0;
    uint8_t inFrame = 0;

private:
    Renderer() = default;
    void drawOverlay();
};

// The projection of setViewport for a w x h view: 60 degrees across, the height following.
void renderer_projection(float out[16], int w, int h, float nearPlane, float farPlane);

// Split of the client rectangle into the 3D view (left) and the UV view (right).
void renderer_layout(int left, int top, int right, int bottom, float splitRatio, ViewRect* scene,
                     ViewRect* uv);

// Texture repeat of UvView::textureScale 1..4: 0.5, 1, 2, 4.
float texture_repeat(int textureScale);
