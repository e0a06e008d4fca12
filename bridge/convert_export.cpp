// su_convert_skp_to_version and its year table.
#include "bridge/host_binding.h"
#include "bridge/model_version.h"
#include "bridge/zelvora.h"

namespace zelvora {

bool model_version_for_year(int year, SUModelVersion* version) {
    if (year == 2008 || year == 2009) {
        *version = SUModelVersion_SU7;
    } else if (year >= 2010 && year <= 2012) {
        *version = SUModelVersion_SU8;
    } else if (year >= 2013 && year <= 2020) {
        // One file version per release from 2013 on, in step with the years.
        *version = static_cast<SUModelVersion>(SUModelVersion_SU2013 + (year - 2013));
    } else if (year >= 2021 && year <= 2025) {
        // Releases since 2021 share one file version.
        *version = SUModelVersion_SU2021;
    } else {
        return false;
    }
    return true;
}

} // namespace zelvora

extern "C" int32_t su_convert_skp_to_version(const char* src, const char* dst, int32_t year) {
    if (src == nullptr || dst == nullptr) {
        return 2;
    }
    SUModelVersion version = SUModelVersion_SU2021;
    if (!zelvora::model_version_for_year(year, &version)) {
        return 3;
    }
    // No C++ exception may reach the modeller; only memory can run out in here.
    try {
        zelvora::HostSession session;
        zelvora::FileModel model;
        if (!model.open(src)) {
            return 4;
        }
        const SUResult saved = SUModelSaveToFileWithVersion(model.ref(), dst, version);
        return saved != SU_ERROR_NONE ? 5 : 0;
    } catch (...) {
        return 7;
    }
}
