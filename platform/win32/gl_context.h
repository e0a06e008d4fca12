#pragma once

#include <windows.h>

// The one OpenGL context of the window, on the window's own device context, with the pixel
// format the renderer asks for (RENDERER_PIXEL_FORMAT): draw to window, OpenGL, double
// buffered, RGBA with 24 colour bits and 32 depth bits, no alpha, accumulation or stencil.
struct GlContext {
    HDC dc = nullptr;
    HGLRC context = nullptr;
};

// Sets the pixel format on the window and creates the context; false with a reason.
bool gl_context_create(HWND window, GlContext* gl, char* reason, int reasonSize);
bool gl_context_make_current(const GlContext& gl);
void gl_context_swap(const GlContext& gl);
void gl_context_destroy(HWND window, GlContext* gl);
