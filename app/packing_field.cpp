#include "app/packing_field.h"

#include "unwrap/unwrap_pack_tight.h"

#include <cstring>
#include <string>

namespace {

constexpr const char* TIGHT_SWITCH = "-tightpack";

// The options start with the tight packer's defaults, which the document spells out.
static_assert(EngineOptions{}.packResolution == UNWRAP_TIGHT_RESOLUTION &&
              EngineOptions{}.packPadding == UNWRAP_TIGHT_PADDING);

// Reads up to five decimal digits ending at `stop`; false for anything else. Five digits hold
// every allowed resolution and keep the value far from overflow.
bool read_number(const char*& s, char stop, int* value) {
    int n = 0, digits = 0;
    for (; *s >= '0' && *s <= '9'; s++) {
        if (++digits > 5)
            return false;
        n = n * 10 + (*s - '0');
    }
    if (digits == 0 || *s != stop)
        return false;
    *value = n;
    return true;
}

} // namespace

bool parse_packing_field(const char* field, EngineOptions& options) {
    if (!field || !*field) {
        options.tightPack = false;
        options.packResolution = UNWRAP_TIGHT_RESOLUTION;
        options.packPadding = UNWRAP_TIGHT_PADDING;
        return true;
    }
    const size_t n = std::strlen(TIGHT_SWITCH);
    if (std::strncmp(field, TIGHT_SWITCH, n) != 0)
        return false;
    int resolution = UNWRAP_TIGHT_RESOLUTION, padding = UNWRAP_TIGHT_PADDING;
    const char* s = field + n;
    if (*s == '=') {
        s++;
        if (!read_number(s, '/', &resolution))
            return false;
        s++;
        if (!read_number(s, '\0', &padding))
            return false;
        if (resolution < UNWRAP_TIGHT_MIN_RESOLUTION || resolution > UNWRAP_TIGHT_MAX_RESOLUTION ||
            padding > resolution / 4)
            return false;
    } else if (*s != '\0') {
        return false;
    }
    options.tightPack = true;
    options.packResolution = resolution;
    options.packPadding = padding;
    return true;
}

bool parse_switch_fields(const char* fields, EngineOptions& options) {
    options.fixFlips = true;
    options.autoSeams = false;
    if (!parse_packing_field(nullptr, options))
        return false;
    if (!fields || !*fields)
        return true;
    std::string rest(fields);
    size_t from = 0;
    for (;;) {
        const size_t comma = rest.find(',', from);
        const std::string field =
            rest.substr(from, comma == std::string::npos ? rest.npos : comma - from);
        if (field == "-keepflips")
            options.fixFlips = false;
        else if (field == "-autoseams")
            options.autoSeams = true;
        else if (!parse_packing_field(field.c_str(), options))
            return false;
        if (comma == std::string::npos)
            return true;
        from = comma + 1;
    }
}
