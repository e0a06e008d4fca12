#pragma once

#include <QOpenGLWidget>

// The one OpenGL widget that fills the client area and holds both views. It turns the
// toolkit's mouse, key and focus events into the dispatcher's input events and paints a frame
// through the renderer.
class GlView : public QOpenGLWidget {
public:
    explicit GlView(QWidget* parent);

    // Surface of the views: compatibility profile, double-buffered, with a depth buffer.
    static QSurfaceFormat surfaceFormat();

    // Hands one input event to the dispatcher; repaints when it answers true and `repaint`
    // allows it.
    void deliver(int event, int x, int y, bool repaint);

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    // A press arrives at the position of the last move; a move is made first when the toolkit
    // reports a press where no move went before.
    void moveTo(QMouseEvent* e);
    // Delivers the last mouse move if it has not been yet.
    void flushMove();
    bool key(QKeyEvent* e, bool down);

    int mouseX_ = 0, mouseY_ = 0;
    int wheelRest_ = 0; // wheel movement short of a notch
    bool movePending_ = false;
};
