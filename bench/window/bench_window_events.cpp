// One mouse event of the window's gestures on large meshes under the virtual display, split
// into the document work the event does and the frame that follows it:
// - a rubber-band drag in the 3D view and in the UV view on a mesh of 1,000,000 triangles;
// - a UV Move drag step (middle button) on a chart of 100,000 triangles.
// Run under xvfb-run; prints medians in milliseconds.

#include "app/app_state.h"
#include "app/startup.h"
#include "bench/document/grid_mesh.h"
#include "document/mesh_document.h"
#include "document/undo_history.h"
#include "platform/key_state.h"
#include "platform/qt/gl_view.h"
#include "platform/qt/main_window.h"
#include "views/scene_view.h"
#include "views/uv_view.h"

#include <QApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// A flat grid of rows x cols quads with one UV point per vertex: one chart.
std::string quad_grid(int rows, int cols) {
    std::string path =
        "/tmp/marrowby_bench_window_" + std::to_string(rows) + "x" + std::to_string(cols) + ".obj";
    if (access(path.c_str(), R_OK) != 0)
        write_quad_grid_obj(path, rows, cols);
    return path;
}

struct Split {
    std::vector<double> event, frame;
};

// Delivers `events` mouse moves from `from` by `step` pixels each, timing the dispatch and a
// finished frame after each.
Split drag(MainWindow& w, int button, QPoint from, QPoint step, int events) {
    GlView* v = w.views();
    Split s;
    AppState& app = AppState::instance();
    app.dispatchEvent(EVT_MOUSE_MOVE, from.x(), from.y());
    platform_set_key_down(button == EVT_LBUTTON_DOWN ? VK_KEY_LBUTTON : VK_KEY_MBUTTON, true);
    app.dispatchEvent(button, from.x(), from.y());
    for (int i = 1; i <= events; i++) {
        const QPoint p = from + step * i;
        auto t0 = Clock::now();
        app.dispatchEvent(EVT_MOUSE_MOVE, p.x(), p.y());
        s.event.push_back(ms_since(t0));
        t0 = Clock::now();
        v->repaint();
        v->makeCurrent();
        QOpenGLContext::currentContext()->functions()->glFinish();
        s.frame.push_back(ms_since(t0));
    }
    platform_set_key_down(button == EVT_LBUTTON_DOWN ? VK_KEY_LBUTTON : VK_KEY_MBUTTON, false);
    app.dispatchEvent(button == EVT_LBUTTON_DOWN ? EVT_LBUTTON_UP : EVT_MBUTTON_UP, 0, 0);
    return s;
}

void report(const char* what, const Split& s) {
    std::printf("%-58s event %8.2f ms   frame %9.2f ms   (median of %zu)\n", what, median(s.event),
                median(s.frame), s.event.size());
}

std::unique_ptr<MainWindow> open_on(const std::string& path) {
    shutdownCleanup();
    AppState::instance().reset();
    if (!AppState::instance().loadChosenFile(path)) {
        std::fprintf(stderr, "cannot load %s\n", path.c_str());
        return nullptr;
    }
    UndoHistory::instance().push();
    auto w = std::make_unique<MainWindow>();
    w->resize(1280, 800);
    w->show();
    for (int i = 0; i < 20; i++)
        QCoreApplication::processEvents();
    w->views()->repaint();
    return w;
}

} // namespace

int main(int argc, char** argv) {
    QSurfaceFormat::setDefaultFormat(GlView::surfaceFormat());
    QApplication app(argc, argv);
    const int events = argc > 1 ? std::atoi(argv[1]) : 5;

    {
        auto w = open_on(quad_grid(500, 1000));
        if (!w)
            return 1;
        const MeshDocument& doc = MeshDocument::instance();
        std::printf("mesh of %d triangles, %d edges, %d UV points\n", doc.triangleCount,
                    doc.edgeCount, doc.uvCount);
        AppState::instance().dispatchEvent(EVT_KEY_DOWN, 'E', 0);
        const ViewRect scene = SceneView::instance().viewRect;
        const QPoint sceneCentre((scene.left + scene.right) / 2 - 100, (scene.bottom) / 2 - 100);
        report("rubber band, 3D view, edges, 1,000,000 triangles",
               drag(*w, EVT_LBUTTON_DOWN, sceneCentre, QPoint(40, 40), events));
        const ViewRect uv = UvView::instance().viewRect;
        const QPoint uvCentre((uv.left + uv.right) / 2 - 100, uv.bottom / 2 - 100);
        report("rubber band, UV view, edges, 1,000,000 triangles",
               drag(*w, EVT_LBUTTON_DOWN, uvCentre, QPoint(40, 40), events));
        AppState::instance().dispatchEvent(EVT_KEY_DOWN, 'U', 0);
        report("rubber band, UV view, points, 1,000,000 triangles",
               drag(*w, EVT_LBUTTON_DOWN, uvCentre, QPoint(40, 40), events));
    }
    {
        auto w = open_on(quad_grid(200, 250));
        if (!w)
            return 1;
        MeshDocument& doc = MeshDocument::instance();
        // A block of points in the middle of the chart, the rest solved around it.
        for (int i = 0; i < doc.uvCount; i++) {
            const UvPoint& p = doc.uvs[size_t(i)];
            if (p.u > 0.45f && p.u < 0.55f && p.v > 0.45f && p.v < 0.55f)
                doc.uvs[size_t(i)].flags = FLAG_SELECTED;
        }
        UndoHistory::instance().push();
        AppState::instance().dispatchEvent(EVT_KEY_DOWN, 'R', 0);
        const ViewRect uv = UvView::instance().viewRect;
        const QPoint uvCentre((uv.left + uv.right) / 2, uv.bottom / 2);
        std::printf("chart of %d triangles\n", doc.triangleCount);
        report("UV Move step (middle drag), 100,000-triangle chart",
               drag(*w, EVT_MBUTTON_DOWN, uvCentre, QPoint(3, 2), events));
    }
    shutdownCleanup();
    return 0;
}
