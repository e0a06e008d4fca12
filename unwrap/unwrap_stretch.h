#pragma once

#include "unwrap/unwrap_records.h"

// Texture stretch of a chart's layout (Sander, Snyder, Gortler and Hoppe, "Texture Mapping
// Progressive Meshes", 2001): the root mean square, over the surface, of how far the map from
// the layout to the surface stretches a unit length, normalised by the chart's own UV/3D area
// ratio, so that a similar copy of the surface measures 1 and any distortion more. Triangles
// made by hole filling and triangles without 3D area are left out; a layout with a collapsed or
// non-finite triangle measures infinity.
double unwrap_chart_stretch(const PChart* chart);
