#pragma once

#include "unwrap/unwrap_records.h"

// Tight packing: places the charts' shapes instead of their boxes. Each chart, scaled to its 3D
// area, is rasterised into texels of a square texture of `resolution` texels, and the charts go
// one by one to the lowest free position (smallest v, then smallest u) where they fit; of the
// minimum-area orientation and its three quarter turns, each at its lowest free position, the
// one whose top stays lowest is kept. A few orders of the charts (largest first by different
// measures) are tried in turn until one places them all. Every placed chart keeps `padding`
// texels free around it, so no two charts come closer than that at the given resolution and
// mip-mapped textures do not bleed between them. The side of the square is found by bisection,
// as the shelf packer does (first on a coarser texel grid, then confirmed on the real one), and
// the square becomes the unit square.
//
// Same inputs and outputs as unwrap_pack: handle in the allocated state, before unwrap_flush;
// the charts array is reordered largest first. User-pinned charts keep their UVs, and the
// texels they cover (with the padding) are kept free. When the charts cannot be placed at any
// scale (more charts than the texture has room for), the shelf packer lays them out instead.

constexpr int UNWRAP_TIGHT_RESOLUTION = 1024;
constexpr int UNWRAP_TIGHT_PADDING = 4;
// Limits of the texture size the packer works on: its sheet takes resolution squared bits.
constexpr int UNWRAP_TIGHT_MIN_RESOLUTION = 16;
constexpr int UNWRAP_TIGHT_MAX_RESOLUTION = 8192;

void unwrap_pack_tight(PHandle* handle, int resolution, int padding);
