#pragma once

// What the window suites share: the one application object and waiting for the event loop.

#include "platform/qt/gl_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <functional>

inline QApplication& application() {
    static int argc = 1;
    static char name[] = "marrowby_window_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        QSurfaceFormat::setDefaultFormat(GlView::surfaceFormat());
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Processes events until cond holds or the time is up.
inline bool wait_until(const std::function<bool()>& cond, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return true;
}
