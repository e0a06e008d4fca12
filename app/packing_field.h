#pragma once

#include "document/engine_options.h"

// The command line's optional sixth field chooses the packing:
//   absent or empty        shelf packing of the charts' boxes
//   -tightpack             tight packing at 1024 texels with 4 texels between charts
//   -tightpack=RES/PAD     tight packing at RES texels (16 to 8192) with PAD texels between
//                          charts (0 to RES / 4), both plain decimal numbers
// Sets the packing options and answers true, or answers false and leaves them alone when the
// field is anything else.
bool parse_packing_field(const char* field, EngineOptions& options);

// Everything after the fifth field: comma-separated switches in any order, each a packing field
// as above, "-keepflips" (charts keep their layout from the flattening even where triangles
// are flipped or collapsed) or "-autoseams" (seams are added before the unwrap). Sets the options
// and answers true, or answers false for anything else. Null or empty gives the defaults.
bool parse_switch_fields(const char* fields, EngineOptions& options);
