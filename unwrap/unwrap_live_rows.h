#pragma once

#include "unwrap/unwrap_records.h"

#include <vector>

// A live chart is re-solved at every step of a drag with the same rows; only its pinned points
// move. Walking the chart's lists and working out each triangle's angles again at every step
// costs far more than the solve itself on a large chart (the lists are scattered over the
// arena), so what the steps need is gathered once into flat arrays; the rows in list order, so
// that they are stated exactly as the lists would state them.

// The two rows of one triangle: its corners' variable pairs (u = 2 key, v = u + 1), the corner of
// largest sine last, and the coefficients from its angles. The coefficients are kept in double
// precision: on a large regular chart the rounding of single-precision ones is the same in every
// triangle, and adds up to a visible change of scale across the chart.
struct PTriangleRows {
    unsigned u[3];
    double cosine;
    double sine;
};

// The corner UV pairs a flush writes and the point each takes its UV from.
struct PCornerLink {
    float* uvLink;
    const PPoint* point;
};

struct PLiveRows {
    std::vector<PPoint*> points;          // every point of the chart, in memory order
    std::vector<PPoint*> pinned;          // the pinned ones, in memory order
    std::vector<PTriangleRows> triangles; // in list order: the rows' order is the system's
    // The triangles with a pinned corner, by their place in triangles: only their rows change
    // from step to step, the others have free terms alone.
    std::vector<unsigned> pinnedTriangles;
    std::vector<PCornerLink> links; // half-edges with a caller UV pair, by point
};

// The triangle's rows from its angles (the ABF angles when given, else its 3D ones).
PTriangleRows unwrap_triangle_rows(const PTriangle* t, const float* abf);

// Gathers a chart's live arrays; the chart's points must already carry their variable keys.
PLiveRows* unwrap_live_rows_new(const PChart* chart, const float* abfAngles);
void unwrap_live_rows_delete(PLiveRows* rows);
