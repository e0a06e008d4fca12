#pragma once

#include "document/engine_options.h"
#include "unwrap/unwrap_glue.h"

// The engine's packing as the options choose it.
inline UnwrapPacking packing_of(const EngineOptions& options) {
    UnwrapPacking packing;
    packing.tight = options.tightPack;
    packing.resolution = options.packResolution;
    packing.padding = options.packPadding;
    return packing;
}
