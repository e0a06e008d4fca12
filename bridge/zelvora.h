// zelvora: the scene camera bridge a modeller extension loads. Every export opens the modeller's C
// interface, does its work and closes it again; nothing is kept between calls, and two exports must
// not run at the same time.
//
// Status codes (0 is always success):
//   su_read_pages_cameras_json        2 path or out null, 4 cannot open, 5 scene count,
//                                     6 scene list, 7 no memory for the text
//   su_read_active_pages_cameras_json 2 out null, 3 no active model, 5 scene count,
//                                     6 scene list, 7 no memory for the text
//   su_apply_camera_2d                2 text null, 3 no active model, 4 scene count,
//                                     7 no memory
//   su_convert_skp_to_version         2 a path null, 3 year not supported, 4 cannot open,
//                                     5 saving failed, 7 no memory
// No C++ exception ever leaves an export.
#ifndef ZELVORA_BRIDGE_ZELVORA_H
#define ZELVORA_BRIDGE_ZELVORA_H

#include <stdint.h>

#if defined(_WIN32)
#define ZELVORA_EXPORT __declspec(dllexport)
#else
#define ZELVORA_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Scenes and cameras of the model file at `path` as one JSON text. *out_json is set to null first
// and, on 0, to a NUL-terminated text that the caller gives back through su_free.
ZELVORA_EXPORT int32_t su_read_pages_cameras_json(const char* path, char** out_json);
// The same for the model open in the modeller.
ZELVORA_EXPORT int32_t su_read_active_pages_cameras_json(char** out_json);
// Applies 2D camera settings given as JSON (the readers' form) to the open model's scenes by name.
ZELVORA_EXPORT int32_t su_apply_camera_2d(const char* json);
// Saves the model file `src` as `dst` in the file version of the host release `year`.
ZELVORA_EXPORT int32_t su_convert_skp_to_version(const char* src, const char* dst, int32_t year);
// Gives back a text returned by a reader; null is ignored.
ZELVORA_EXPORT void su_free(char* text);

#ifdef __cplusplus
}
#endif

#endif
