#pragma once

// What the window suites share: the one application object and waiting for the event loop.

#include "platform/qt/gl_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

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

// Runs `act` on the first modal widget of the given object name (any, when empty) once it is
// open: modal dialogs block the caller inside exec().
inline std::vector<QTimer*>& modal_steps() {
    static std::vector<QTimer*> timers;
    return timers;
}

inline void when_modal(const QString& name, std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    modal_steps().push_back(timer);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, name, act] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || (!name.isEmpty() && w->objectName() != name))
            return;
        timer->stop();
        act(w);
    });
    timer->start();
}

// A step that never ran must not fire into the next test.
inline void drop_modal_steps() {
    for (QTimer* t : modal_steps())
        delete t;
    modal_steps().clear();
}

// Types a path into Qt's own file dialog (selectFile leaves a focused name field alone).
inline void choose(QFileDialog* d, const std::string& path) {
    auto* name = d->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText(QString::fromStdString(path));
}
