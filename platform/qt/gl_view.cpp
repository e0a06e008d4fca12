#include "platform/qt/gl_view.h"

#include "app/app_state.h"
#include "platform/key_state.h"
#include "platform/qt/key_map.h"
#include "platform/qt/main_window.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSurfaceFormat>
#include <QTimer>
#include <QWindow>

namespace {

// Button events and the key table's numbers of the three buttons.
struct ButtonEvents {
    int down, up, virtualKey;
    bool repaint; // the left button repaints, the others never do
};

bool button_events(Qt::MouseButton b, ButtonEvents* out) {
    switch (b) {
    case Qt::LeftButton:
        *out = {EVT_LBUTTON_DOWN, EVT_LBUTTON_UP, VK_KEY_LBUTTON, true};
        return true;
    case Qt::MiddleButton:
        *out = {EVT_MBUTTON_DOWN, EVT_MBUTTON_UP, VK_KEY_MBUTTON, false};
        return true;
    case Qt::RightButton:
        *out = {EVT_RBUTTON_DOWN, EVT_RBUTTON_UP, VK_KEY_RBUTTON, false};
        return true;
    default:
        return false;
    }
}

} // namespace

GlView::GlView(QWidget* parent) : QOpenGLWidget(parent) {
    setFormat(surfaceFormat());
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setObjectName("views");
}

QSurfaceFormat GlView::surfaceFormat() {
    QSurfaceFormat f;
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setProfile(QSurfaceFormat::CompatibilityProfile);
    f.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    f.setDepthBufferSize(24);
    return f;
}

void GlView::deliver(int event, int x, int y, bool repaint) {
    if (AppState::instance().dispatchEvent(event, x, y) && repaint)
        update();
    if (MainWindow* w = MainWindow::current())
        w->syncUnwrapBusy();
}

void GlView::initializeGL() {
    if (ViewCalls& v = app_view_calls(); v.initialise)
        v.initialise();
}

void GlView::resizeGL(int w, int h) {
    AppState& app = AppState::instance();
    app.setClientRect(0, 0, w, h);
    if (ViewCalls& v = app_view_calls(); v.layout)
        v.layout(app.left, app.top, app.right, app.bottom, app.splitRatio);
}

void GlView::paintGL() {
    flushMove();
    AppState& app = AppState::instance();
    ViewCalls& v = app_view_calls();
    if (v.layout)
        v.layout(app.left, app.top, app.right, app.bottom, app.splitRatio);
    // The toolkit paints the widget once when the window is first laid out, before the window
    // is on screen, and the window is mapped only after that paint. A large mesh takes seconds
    // to draw in software, so that frame is the background alone and the views are drawn once
    // the window is up.
    const QWindow* handle = window()->windowHandle();
    const bool onScreen = handle && handle->isExposed();
    if (v.paint && onScreen) {
        v.paint();
        return;
    }
    if (v.paint)
        QTimer::singleShot(0, this, [this] { update(); });
    QOpenGLFunctions* gl = context()->functions();
    gl->glClearColor(0.647f, 0.635f, 0.647f, 1.0f);
    gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void GlView::moveTo(QMouseEvent* e) {
    int x = int(e->position().x()), y = int(e->position().y());
    if (x != mouseX_ || y != mouseY_) {
        mouseX_ = x;
        mouseY_ = y;
        deliver(EVT_MOUSE_MOVE, x, y, true);
    }
}

void GlView::mouseMoveEvent(QMouseEvent* e) {
    mouseX_ = int(e->position().x());
    mouseY_ = int(e->position().y());
    // Moves that arrive while a slow frame or pick is under way are folded into the last one:
    // it is delivered once the queue is drained, or before any other event or frame.
    if (!movePending_) {
        movePending_ = true;
        QTimer::singleShot(0, this, [this] { flushMove(); });
    }
}

void GlView::flushMove() {
    if (!movePending_)
        return;
    movePending_ = false;
    deliver(EVT_MOUSE_MOVE, mouseX_, mouseY_, true);
}

void GlView::mousePressEvent(QMouseEvent* e) {
    flushMove();
    ButtonEvents b;
    if (!button_events(e->button(), &b))
        return;
    moveTo(e);
    platform_set_key_down(b.virtualKey, true);
    deliver(b.down, mouseX_, mouseY_, b.repaint);
}

void GlView::mouseReleaseEvent(QMouseEvent* e) {
    flushMove();
    ButtonEvents b;
    if (!button_events(e->button(), &b))
        return;
    platform_set_key_down(b.virtualKey, false);
    deliver(b.up, 0, 0, b.repaint);
}

void GlView::mouseDoubleClickEvent(QMouseEvent* e) {
    flushMove();
    if (e->button() != Qt::LeftButton) {
        mousePressEvent(e);
        return;
    }
    moveTo(e);
    platform_set_key_down(VK_KEY_LBUTTON, true);
    deliver(EVT_LBUTTON_DBLCLK, mouseX_, mouseY_, true);
}

void GlView::wheelEvent(QWheelEvent* e) {
    flushMove();
    // Whole notches of 120; a touchpad's small deltas add up until they make one.
    wheelRest_ += e->angleDelta().y();
    const int steps = wheelRest_ / 120;
    wheelRest_ -= steps * 120;
    const QPoint at = e->position().toPoint();
    if (steps != 0 && AppState::instance().wheel(at.x(), at.y(), steps))
        update();
    e->accept();
}

bool GlView::key(QKeyEvent* e, bool down) {
    flushMove();
    int vk = virtual_key_from_qt(e->key(), e->modifiers(), e->nativeVirtualKey());
    if (e->key() == Qt::Key_Alt) {
        // The Alt key itself only changes the held state the views read.
        platform_set_key_down(vk, down);
        platform_set_key_down(18, down);
        return true;
    }
    // Keys with Alt held belong to the accelerators and the menu, not to the key table.
    if (vk == 0 || (e->modifiers() & Qt::AltModifier))
        return false;
    platform_set_key_down(vk, down);
    deliver(down ? EVT_KEY_DOWN : EVT_KEY_UP, vk, 0, true);
    // Mode keys change what the toolbar shows checked.
    if (MainWindow* w = MainWindow::current())
        w->refreshMenuState();
    return true;
}

void GlView::keyPressEvent(QKeyEvent* e) {
    if (!key(e, true))
        QOpenGLWidget::keyPressEvent(e);
}

void GlView::keyReleaseEvent(QKeyEvent* e) {
    // A held key repeats its key-down only.
    if (e->isAutoRepeat())
        return;
    if (!key(e, false))
        QOpenGLWidget::keyReleaseEvent(e);
}

void GlView::focusOutEvent(QFocusEvent* e) {
    flushMove();
    if (ViewCalls& v = app_view_calls(); v.releaseAll)
        v.releaseAll();
    platform_clear_keys();
    QOpenGLWidget::focusOutEvent(e);
}
