// Control side of the stand-in modeller. The SU* functions of host/su_capi.h run over the state
// kept here: the model open in the host, models opened from files, strings handed out, and a log
// of every call seen. Tests and scenehost use these to set the stage and to check afterwards what
// the bridge did. Not thread-safe, like the bridge itself.
#ifndef ZELVORA_HOST_STAND_IN_H
#define ZELVORA_HOST_STAND_IN_H

#include <string>
#include <vector>

#include "host/model_file.h"
#include "host/su_capi.h"

struct HostCall {
    std::string name;   // "SUSceneGetCamera"
    std::string detail; // arguments worth checking, e.g. "Top" or "version=5"
    SUResult result = SU_ERROR_NONE;
    bool initialized = false; // whether SUInitialize was in effect
};

// Forget every model, handle, failure and logged call.
void host_reset();

void host_set_active_model(const HostModel& model);
void host_clear_active_model();
// The open model, or null when there is none. Changes made through the SU* setters show here.
const HostModel* host_active_model();

// Make the calls named `call` fail with `result` once `after` of them have succeeded. With
// SU_ERROR_NONE the call reports success but writes no out value (a null handle, say).
void host_fail(const std::string& call, SUResult result, int after = 0);
// SUModelGetScenes hands out at most this many scenes (negative: no limit).
void host_limit_scenes(int limit);

const std::vector<HostCall>& host_calls();
std::vector<std::string> host_call_names();
// Details of the calls with the given name, in order (e.g. which scenes were asked for a camera).
std::vector<std::string> host_call_details(const std::string& call);

int host_live_models();  // opened from a file and not yet released
int host_live_strings(); // created and not yet released
int host_init_depth();   // SUInitialize calls minus SUTerminate calls
// Calls the real modeller would reject or that break its rules: releasing the active model, a
// stale handle, a call outside SUInitialize/SUTerminate. Each entry says what happened.
const std::vector<std::string>& host_misuses();

#endif
