#pragma once

#include <cstdint>

#include "views/view_types.h"

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

private:
    UvView() = default;
    bool navigate(int event, int x, int y);
};
