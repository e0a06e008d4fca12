// Frames of the window under the virtual display, drawn from the vertex arrays and, for
// comparison, vertex by vertex; and how long a start with a file takes to show the window.
// Run under xvfb-run: bench_frames [frames]. Prints medians in milliseconds; "submit" is the
// time of the frame's calls (ours, with the driver's share of taking them), "finish" the time
// the software renderer then needs to draw them.

#include "app/app_state.h"
#include "app/startup.h"
#include "bench/document/grid_mesh.h"
#include "document/mesh_document.h"
#include "document/undo_history.h"
#include "platform/qt/gl_view.h"
#include "platform/qt/main_window.h"
#include "platform/qt/window_run.h"
#include "tools/seamgen/seam_cuts.h"
#include "views/renderer.h"
#include "views/scene_view.h"

#include <QApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
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

const std::string DIR = "/tmp/marrowby_bench_frames";

// A copy of a real mesh with a seam list that cuts it into discs.
void cut_copy(const std::string& name, std::string* mesh, std::string* seams) {
    *mesh = DIR + "/" + name;
    *seams = *mesh + ".bin";
    (void)std::system(
        ("mkdir -p " + DIR + " && cp " + std::string(MARROWBY_MESH_DIR) + "/" + name + " " + *mesh)
            .c_str());
    MeshDocument doc;
    if (doc.load(mesh->c_str()))
        write_seam_list(*seams, seams_to_discs(doc, seams_along_slabs(doc, 8)));
}

// A flat quad grid with one UV point per vertex.
std::string quad_grid(int rows, int cols) {
    std::string path = DIR + "/grid_" + std::to_string(rows) + "x" + std::to_string(cols) + ".obj";
    if (access(path.c_str(), R_OK) != 0)
        write_quad_grid_obj(path, rows, cols);
    return path;
}

struct FrameTimes {
    std::vector<double> submit, finish;
};

// Frames of an Alt-drag that turns the 3D camera a little each time.
FrameTimes turning_frames(MainWindow& w, int frames, bool immediate) {
    Renderer::instance().immediateMode = immediate ? 1 : 0;
    GlView* v = w.views();
    FrameTimes t;
    v->repaint(); // the arrays are built by the first frame after a change
    for (int i = 0; i < frames; i++) {
        SceneView::instance().rotation[1] += 3;
        v->makeCurrent();
        QOpenGLFunctions* gl = QOpenGLContext::currentContext()->functions();
        gl->glFinish();
        auto t0 = Clock::now();
        Renderer::instance().paint();
        t.submit.push_back(ms_since(t0));
        t0 = Clock::now();
        gl->glFinish();
        t.finish.push_back(ms_since(t0));
    }
    Renderer::instance().immediateMode = 0;
    return t;
}

void report(const char* what, const FrameTimes& t) {
    std::printf("%-52s frame %8.1f ms = submit %7.1f + finish %7.1f  (median of %zu)\n", what,
                median(t.submit) + median(t.finish), median(t.submit), median(t.finish),
                t.submit.size());
}

std::unique_ptr<MainWindow> open_on(const std::string& mesh, const std::string& seams) {
    shutdownCleanup();
    AppState::instance().reset();
    startup_state() = StartupState{};
    std::string line = "\"" + mesh + "," + seams + ",,,\"";
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    parseCommandLine(text.data());
    finishStartupUnwrap();
    auto w = std::make_unique<MainWindow>();
    w->resize(1280, 800);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        std::fprintf(stderr, "the window was not shown\n");
    return w;
}

} // namespace

int main(int argc, char** argv) {
    QSurfaceFormat::setDefaultFormat(GlView::surfaceFormat());
    QApplication app(argc, argv);
    const int frames = argc > 1 ? std::atoi(argv[1]) : 5;

    // Start-up: from the command line to the window on screen, and to the first frame.
    std::string mesh, seams;
    cut_copy("snowden.obj", &mesh, &seams);
    double visibleMs = -1, loopMs = -1;
    static double firstFrameMs = -1;
    static void (*viewsPaint)() = nullptr;
    static Clock::time_point start;
    start = Clock::now();
    QTimer::singleShot(0, [&] {
        loopMs = ms_since(start); // loaded, window made, its event loop running
        while (!MainWindow::current())
            QCoreApplication::processEvents();
        // The first frame that draws the views, not the background alone.
        viewsPaint = app_view_calls().paint;
        app_view_calls().paint = [] {
            viewsPaint();
            if (firstFrameMs < 0)
                firstFrameMs = ms_since(start);
        };
        if (QTest::qWaitForWindowExposed(MainWindow::current()))
            visibleMs = ms_since(start);
        while (firstFrameMs < 0)
            QCoreApplication::processEvents();
        app_view_calls().paint = viewsPaint;
        MainWindow::current()->close();
    });
    const std::string arg = mesh + "," + seams + ",,,";
    const char* args[] = {"marrowby", arg.c_str()};
    marrowby_main(2, args, platform_run_window);
    std::printf("start with snowden: event loop running after %.0f ms, window exposed after "
                "%.0f ms, first frame of the views drawn after %.0f ms, exit after %.0f ms\n",
                loopMs, visibleMs, firstFrameMs, ms_since(start));

    {
        cut_copy("snowden.obj", &mesh, &seams);
        auto w = open_on(mesh, seams);
        std::printf("snowden: %d triangles\n", MeshDocument::instance().triangleCount);
        report("snowden, Alt-drag frame, arrays", turning_frames(*w, frames, false));
        report("snowden, Alt-drag frame, vertex by vertex", turning_frames(*w, frames, true));
    }
    {
        auto w = open_on(quad_grid(500, 1000), "");
        std::printf("grid: %d triangles\n", MeshDocument::instance().triangleCount);
        report("1,000,000 triangles, Alt-drag frame, arrays", turning_frames(*w, frames, false));
        report("1,000,000 triangles, Alt-drag frame, vertex by vertex",
               turning_frames(*w, std::min(frames, 3), true));
    }
    shutdownCleanup();
    return 0;
}
