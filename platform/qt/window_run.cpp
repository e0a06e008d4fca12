#include "platform/qt/window_run.h"

#include "app/commands.h"
#include "app/startup.h"
#include "document/mesh_document.h"
#include "platform/qt/gl_view.h"
#include "platform/qt/main_window.h"
#include "platform/ui_messages.h"

#include <QApplication>
#include <QEventLoop>
#include <QProxyStyle>
#include <QSurfaceFormat>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

namespace {

// A lone Alt tap must not put the menu bar into keyboard navigation: the views use Alt as a
// held modifier, and the menu bar would swallow the keys that follow.
class NoAltMenuStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_MenuBar_AltKeyNavigation)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Called on the worker's thread: queue the message into the UI thread's event loop.
void forward_message(unsigned message) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(
        app,
        [message] {
            if (message != WM_UNWRAP_DONE)
                return;
            MeshDocument::instance().onUnwrapDone();
            if (MainWindow* w = MainWindow::current()) {
                w->unwrapLanded();
                w->views()->update();
            }
        },
        Qt::QueuedConnection);
}

// QApplication keeps references to its argc and argv for its whole life.
int g_argc = 0;
std::vector<std::string> g_args;
std::vector<char*> g_argv;

} // namespace

bool platform_run_window(int argc, const char* const* argv, int* exitCode) {
    std::unique_ptr<QApplication> own;
    if (!QApplication::instance()) {
        g_args.assign(argv, argv + argc);
        g_argv.clear();
        for (std::string& a : g_args)
            g_argv.push_back(a.data());
        g_argv.push_back(nullptr);
        g_argc = argc;
        QSurfaceFormat::setDefaultFormat(GlView::surfaceFormat());
        own = std::make_unique<QApplication>(g_argc, g_argv.data());
        // The window class name: the toolkit gives it to the window system.
        QCoreApplication::setApplicationName(APP_CLASS_NAME);
    }
    QApplication::setStyle(new NoAltMenuStyle);
    platform_set_message_sink(forward_message);

    auto* window = new MainWindow;
    window->setAttribute(Qt::WA_DeleteOnClose);
    QEventLoop loop;
    QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    window->show();
    // The command line's file loaded meanwhile; the views are drawn once it is in.
    finishStartupLoad();
    window->views()->update();
    // The file given on the command line is on screen; its first unwrap runs in the background.
    window->startFirstUnwrap();
    // Once the loop runs, so that the window is up behind the message.
    QTimer::singleShot(0, window, [window] { window->showStartupProblem(); });
    *exitCode = loop.exec();
    // A worker may still run. Wait for it and take its result over (the file is written with
    // it) while the application can still take the message it posts at its end, and deliver
    // that message (ignored: the result is in) before the application goes.
    MeshDocument::instance().completeLiveUnwrap();
    QCoreApplication::sendPostedEvents();
    if (own) {
        platform_set_message_sink(nullptr);
        own.reset();
    }
    return true;
}
