#pragma once

#include <cstdio>

class MeshDocument;

// Figures of a UV layout, for people comparing layouts and for our own end-to-end checks.
// Triangles are the fans (0, l, l + 1) of every face.
struct UvStats {
    int faces = 0;
    int triangles = 0;
    int charts = 0;                 // UV islands: faces joined across edges with shared UV points
    int flippedTriangles = 0;       // UV orientation opposite to the rest of their chart
    int discCharts = 0;             // charts that are topological discs as cut
    int flippedOnDiscs = 0;         // flipped triangles of disc charts
    int degenerateTriangles = 0;    // zero UV or 3D area: left out of distortion and stretch
    double meanAngleDistortion = 0; // degrees, over every corner of every counted triangle
    double maxAngleDistortion = 0;  // degrees
    // Sander et al.'s L2 and L-infinity texture stretch, normalised by the ratio of total 3D
    // to total UV area so that a layout that is an isometry up to scale gives 1.
    double stretchL2 = 0;
    double stretchLinf = 0;
    double coverage = 0; // summed UV area of the triangles: the used share of the unit square
    int uvPoints = 0;
    int uvsOutside = 0; // UV points with a finite coordinate outside [0, 1]
    int nonFinite = 0;  // UV points or positions with a NaN or infinite coordinate
};

UvStats compute_uv_stats(const MeshDocument& doc);
void print_uv_stats(std::FILE* out, const char* name, const UvStats& stats);
