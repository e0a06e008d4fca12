#pragma once

#include <cstdint>

#include "document/pick_geometry.h"
#include "views/view_types.h"

// One pixel of motion covers 1.15 x distance / width units of the UV plane.
constexpr float UV_PIXEL_SPAN = 1.15f;
// Closest the UV camera comes to the plane.
constexpr float UV_NEAREST_DISTANCE = -0.01f;

// The UV view: camera looking down on the UV plane, pan and zoom only.
class UvView {
public:
    static UvView& instance();

    // Mouse event (EVT_*) with x already relative to the UV view; key events are ignored.
    bool handleMouse(int event, int x, int y, int prevX, int prevY);
    bool setMode(int code);
    bool releaseKey(int code);
    void releaseAll();
    void reset(); // translation back to (-0.5, -0.5, -1, 1)
    void onLoad();
    bool coarserTexture();
    bool finerTexture();

    // "Unwrapping..." in the status line while a background unwrap runs; afterwards the line
    // it replaced, unless a mode key has changed it meanwhile.
    void showBusy(bool busy);

    // The mouse wheel: steps of one notch, positive away from the user, zoom in.
    void wheel(int steps);

    void makeCurrent();
    void buildMatrix();
    void draw(bool pathFlag);

    int32_t mode = MODE_NONE;
    float translation[4] = {-0.5f, -0.5f, -1.0f, 1.0f};
    float modelView[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -0.5f, -0.5f, -1.0f, 1};
    ViewRect viewRect = {0, 0, 0, 0};
    uint8_t rectActive = 0;
    int32_t selectRect[4] = {-1, -1, -1, -1};
    uint8_t commitPending = 0;
    uint8_t shiftDown = 0, ctrlDown = 0;
    int32_t lastX = 0, lastY = 0;
    uint8_t leftDown = 0, middleDown = 0, rightDown = 0;
    int32_t savedMode = MODE_NONE;
    char statusText[100] = {};
    int32_t textureScale = 2;
    int16_t altDown = 0;
    uint8_t navigating = 0;
    // The UV tool chosen by the first button to move in UV Move: 0 none, 1 rotate, 2 move,
    // 3 scale. One per process, as there is one UV view.
    int32_t activeUvTool = 0;
    // A live solve was begun for the drag in progress (uvDragOpen), or refused because the
    // background unwrap was running (uvDragRefused: the drag then does nothing until every
    // button is up). A drag with no movable point is refused too: it would change nothing.
    uint8_t uvDragOpen = 0;
    uint8_t uvDragRefused = 0;
    char statusBeforeBusy[100] = {};

private:
    UvView() = default;
    bool navigate(int event, int x, int y);
    bool select(int event, int x, int y);
    bool doubleClick(int x, int y);
    bool moveToolsCentre(int event, int x, int y);
    bool uvTools(int event, int x, int y);
    PickView pickView() const;
};
