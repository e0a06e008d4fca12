// The modeller's file version for each host release year that a model can be saved for.
#ifndef ZELVORA_BRIDGE_MODEL_VERSION_H
#define ZELVORA_BRIDGE_MODEL_VERSION_H

#include "host/su_capi.h"

namespace zelvora {

// False for a year outside 2008 to 2025.
bool model_version_for_year(int year, SUModelVersion* version);

} // namespace zelvora

#endif
