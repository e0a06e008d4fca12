#pragma once

#include <cstdint>

#include "document/pick_geometry.h"
#include "views/view_types.h"

// Pan and pivot factor of the 3D camera at a distance: -max(1, |distance|).
float pan_extent(float distance);

// A camera distance after `steps` wheel notches: each notch in brings the camera a tenth of
// the way closer, so the wheel never carries it through the plane or the model.
float wheel_distance(float distance, int steps);

// The 3D view: camera orbiting a pivot, its input bookkeeping and key entries.
class SceneView {
public:
    static SceneView& instance();

    // Mouse event (EVT_*) in window coordinates with the previous position; key events are
    // ignored. True when the window should redraw.
    bool handleMouse(int event, int x, int y, int prevX, int prevY);
    bool setMode(int code);    // key-down entry: a mode, 16 Shift, 32 Ctrl
    bool releaseKey(int code); // key-up entry
    void releaseAll();         // focus lost: both views (the UV view's entry is idempotent)
    bool centreOnSelectedEdges();
    void resetCamera(); // translation back to (0, 0, -1.8, 1)
    void onLoad();      // matrices rebuilt, pivot cleared

    // Projection of this view for the picking (the window calls it before passing an event).
    void makeCurrent();

    // The mouse wheel: steps of one notch, positive away from the user, zoom in.
    void wheel(int steps);

    void buildMatrices(); // modelView and axisMatrix from rotation, translation and pivot
    void draw(bool pathFlag);

    int32_t mode = MODE_NONE;
    float rotation[4] = {0, 0, 0, 1};
    float translation[4] = {0, 0, 0, 1};
    float modelView[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float axisMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float pivot[3] = {0, 0, 0};
    int32_t lastX = 0, lastY = 0;
    uint8_t leftDown = 0, middleDown = 0, rightDown = 0;
    ViewRect viewRect = {0, 0, 0, 0};
    uint8_t rectActive = 0;
    int32_t selectRect[4] = {-1, -1, -1, -1};
    uint8_t commitPending = 0;
    int32_t savedMode = MODE_NONE;
    uint8_t shiftDown = 0, ctrlDown = 0;
    char statusText[100] = {};
    // Left Alt held: the dispatcher sets it from platform_key_down(164) before every event.
    int16_t altDown = 0;
    uint8_t navigating = 0;

private:
    SceneView() = default;
    bool navigate(int event, int x, int y);
    bool movePivot(int event, int x, int y);
    bool select(int event, int x, int y);
    bool doubleClick(int x, int y);
    PickView pickView() const;
};
