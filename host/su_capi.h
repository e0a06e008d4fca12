// The part of the modeller's C interface that zelvora calls: handle types, result codes and the
// functions themselves. The modeller exports these symbols from its own executable; on this machine
// the stand-in in host/ does. Out-parameter conventions the bridge relies on:
// - a getter writes its out value only on SU_ERROR_NONE; on an error the caller's value is
// untouched;
// - handles are small structs around one pointer, and a null pointer means "no object";
// - creating calls (SUModelCreateFromFileWithStatus, SUStringCreate) want a null handle to fill;
// - strings and models obtained from a file are released by the caller; scenes and cameras belong
// to
//   their model, and the active model belongs to the modeller.
#ifndef ZELVORA_HOST_SU_CAPI_H
#define ZELVORA_HOST_SU_CAPI_H

#include <stdbool.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum SUResult {
    SU_ERROR_NONE = 0,
    SU_ERROR_NULL_POINTER_INPUT,
    SU_ERROR_INVALID_INPUT,
    SU_ERROR_NULL_POINTER_OUTPUT,
    SU_ERROR_INVALID_OUTPUT,
    SU_ERROR_OVERWRITE_VALID,
    SU_ERROR_GENERIC,
    SU_ERROR_SERIALIZATION,
    SU_ERROR_OUT_OF_RANGE,
    SU_ERROR_NO_DATA,
    SU_ERROR_INSUFFICIENT_SIZE,
    SU_ERROR_UNKNOWN_EXCEPTION,
    SU_ERROR_MODEL_INVALID,
    SU_ERROR_MODEL_VERSION
} SUResult;

// How a model file was loaded; reported next to a successful SUModelCreateFromFileWithStatus.
typedef enum SUModelLoadStatus {
    SUModelLoadStatus_Success = 0,
    SUModelLoadStatus_Success_MoreRecent = 1
} SUModelLoadStatus;

// File versions a model can be saved in, one per host release.
typedef enum SUModelVersion {
    SUModelVersion_SU3 = 0,
    SUModelVersion_SU4 = 1,
    SUModelVersion_SU5 = 2,
    SUModelVersion_SU6 = 3,
    SUModelVersion_SU7 = 4,
    SUModelVersion_SU8 = 5,
    SUModelVersion_SU2013 = 6,
    SUModelVersion_SU2014 = 7,
    SUModelVersion_SU2015 = 8,
    SUModelVersion_SU2016 = 9,
    SUModelVersion_SU2017 = 10,
    SUModelVersion_SU2018 = 11,
    SUModelVersion_SU2019 = 12,
    SUModelVersion_SU2020 = 13,
    SUModelVersion_SU2021 = 14
} SUModelVersion;

typedef struct SUModelRef {
    void* ptr;
} SUModelRef;
typedef struct SUSceneRef {
    void* ptr;
} SUSceneRef;
typedef struct SUCameraRef {
    void* ptr;
} SUCameraRef;
typedef struct SUStringRef {
    void* ptr;
} SUStringRef;

struct SUPoint3D {
    double x, y, z;
};
struct SUVector3D {
    double x, y, z;
};

void SUInitialize(void);
void SUTerminate(void);

SUResult SUModelCreateFromFileWithStatus(SUModelRef* model, const char* file_path,
                                         enum SUModelLoadStatus* status);
SUResult SUModelRelease(SUModelRef* model);
SUResult SUModelSaveToFileWithVersion(SUModelRef model, const char* file_path,
                                      enum SUModelVersion version);
SUResult SUApplicationGetActiveModel(SUModelRef* model);

SUResult SUModelGetNumScenes(SUModelRef model, size_t* num_scenes);
// Fills up to len handles; *count receives how many were written.
SUResult SUModelGetScenes(SUModelRef model, size_t len, SUSceneRef scenes[], size_t* count);
SUResult SUSceneGetName(SUSceneRef scene, SUStringRef* name);
SUResult SUSceneGetCamera(SUSceneRef scene, SUCameraRef* camera);

SUResult SUStringCreate(SUStringRef* out_string_ref);
SUResult SUStringRelease(SUStringRef* string_ref);
// Length in bytes, without a terminator.
SUResult SUStringGetUTF8Length(SUStringRef string_ref, size_t* out_length);
// Copies at most char_array_length - 1 bytes and a terminating NUL; *out_number_of_chars_copied
// receives the bytes copied without the terminator.
SUResult SUStringGetUTF8(SUStringRef string_ref, size_t char_array_length, char out_char_array[],
                         size_t* out_number_of_chars_copied);

SUResult SUCameraGetOrientation(SUCameraRef camera, struct SUPoint3D* position,
                                struct SUPoint3D* target, struct SUVector3D* up_vector);
SUResult SUCameraGetPerspectiveFrustumFOV(SUCameraRef camera, double* fov);
SUResult SUCameraGetPerspective(SUCameraRef camera, bool* perspective);
SUResult SUCameraGet2D(SUCameraRef camera, bool* make_2d);
SUResult SUCameraGetScale2D(SUCameraRef camera, double* scale);
SUResult SUCameraGetCenter2D(SUCameraRef camera, struct SUPoint3D* center);
SUResult SUCameraSetPerspective(SUCameraRef camera, bool perspective);
SUResult SUCameraSet2D(SUCameraRef camera, bool make_2d);
SUResult SUCameraSetScale2D(SUCameraRef camera, double scale);
SUResult SUCameraSetCenter2D(SUCameraRef camera, const struct SUPoint3D* center);

#ifdef __cplusplus
}
#endif

#endif
