#include "platform/qt/view_binding.h"

#include "app/app_state.h"
#include "views/renderer.h"
#include "views/scene_view.h"
#include "views/uv_view.h"

void platform_bind_views() {
    ViewCalls& v = app_view_calls();
    v.initialise = [] { return Renderer::instance().initialise(); };
    v.layout = [](int l, int t, int r, int b, float ratio) {
        Renderer::instance().layout(l, t, r, b, ratio);
    };
    v.paint = [] { Renderer::instance().paint(); };
    v.useChecker = [] { Renderer::instance().useChecker(); };
    v.useColourNumbers = [] { Renderer::instance().useColourNumbers(); };
    v.useWhite = [] { Renderer::instance().useWhite(); };
    v.switchesChanged = [](bool wireframe, bool noBackFaces, bool singleSelect, bool stretch) {
        DisplaySwitches& s = DisplaySwitches::instance();
        s.wireframe = wireframe;
        s.dontSelectBackFaces = noBackFaces;
        s.singleSelect = singleSelect;
        s.showStretch = stretch;
    };
    v.setLeftAlt = [](bool down) {
        SceneView::instance().altDown = down;
        UvView::instance().altDown = down;
    };
    v.makeSceneCurrent = [] { SceneView::instance().makeCurrent(); };
    v.makeUvCurrent = [] { UvView::instance().makeCurrent(); };
    v.sceneHandleMouse = [](int e, int x, int y, int lx, int ly) {
        return SceneView::instance().handleMouse(e, x, y, lx, ly);
    };
    v.uvHandleMouse = [](int e, int x, int y, int lx, int ly) {
        return UvView::instance().handleMouse(e, x, y, lx, ly);
    };
    v.sceneReleaseKey = [](int code) { return SceneView::instance().releaseKey(code); };
    v.uvReleaseKey = [](int code) { return UvView::instance().releaseKey(code); };
    v.sceneSetMode = [](int code) { SceneView::instance().setMode(code); };
    v.uvSetMode = [](int code) { UvView::instance().setMode(code); };
    v.coarserTexture = [] { return UvView::instance().coarserTexture(); };
    v.finerTexture = [] { return UvView::instance().finerTexture(); };
    v.resetCameras = [] {
        SceneView::instance().resetCamera();
        UvView::instance().reset();
    };
    v.centreOnSelectedEdges = [] { SceneView::instance().centreOnSelectedEdges(); };
    v.sceneWheel = [](int steps) { SceneView::instance().wheel(steps); };
    v.uvWheel = [](int steps) { UvView::instance().wheel(steps); };
    v.uvMode = [] { return int(UvView::instance().mode); };
    v.uvBusy = [](bool busy) { UvView::instance().showBusy(busy); };
    v.releaseAll = [] {
        SceneView::instance().releaseAll();
        UvView::instance().releaseAll();
    };
}
