#pragma once

// Points the dispatcher's view entries (app_view_calls) at the renderer and the two views.
void platform_bind_views();
