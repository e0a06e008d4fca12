#include "platform/win32/gl_context.h"

#include "views/renderer.h"

#include <cstdio>

bool gl_context_create(HWND window, GlContext* gl, char* reason, int reasonSize) {
    gl->dc = GetDC(window);
    if (!gl->dc) {
        std::snprintf(reason, size_t(reasonSize), "no device context for the window");
        return false;
    }
    PIXELFORMATDESCRIPTOR want = {};
    want.nSize = sizeof want;
    want.nVersion = 1;
    want.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL |
                   (RENDERER_PIXEL_FORMAT.doubleBuffer ? PFD_DOUBLEBUFFER : 0);
    want.iPixelType = PFD_TYPE_RGBA;
    want.cColorBits = BYTE(RENDERER_PIXEL_FORMAT.colourBits);
    want.cAlphaBits = BYTE(RENDERER_PIXEL_FORMAT.alphaBits);
    want.cDepthBits = BYTE(RENDERER_PIXEL_FORMAT.depthBits);
    want.cStencilBits = BYTE(RENDERER_PIXEL_FORMAT.stencilBits);
    want.iLayerType = PFD_MAIN_PLANE;
    const int format = ChoosePixelFormat(gl->dc, &want);
    if (format == 0 || !SetPixelFormat(gl->dc, format, &want)) {
        std::snprintf(reason, size_t(reasonSize), "no OpenGL pixel format (error %lu)",
                      GetLastError());
        return false;
    }
    gl->context = wglCreateContext(gl->dc);
    if (!gl->context) {
        std::snprintf(reason, size_t(reasonSize), "no OpenGL context (error %lu)", GetLastError());
        return false;
    }
    return gl_context_make_current(*gl);
}

bool gl_context_make_current(const GlContext& gl) {
    return gl.context && wglMakeCurrent(gl.dc, gl.context);
}

void gl_context_swap(const GlContext& gl) {
    SwapBuffers(gl.dc);
}

void gl_context_destroy(HWND window, GlContext* gl) {
    if (gl->context) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(gl->context);
    }
    if (gl->dc)
        ReleaseDC(window, gl->dc);
    *gl = GlContext{};
}
