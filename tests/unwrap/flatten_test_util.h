#pragma once

#include "unwrap_test_mesh.h"

#include <string>
#include <vector>

// Generated charts and layout measures shared by the ABF, LSCM and packing suites.

// An irregular triangulated planar patch of n x n cells in z = 0: grid points jittered by up to
// half the given share of a cell, each cell split along a varying diagonal. Deterministic for a
// seed. Jitter above 0.5 may fold a triangle over its neighbour.
TestMesh flat_patch(int n, unsigned seed, float jitter = 0.6f);

// Rotates and tilts every position of a mesh (a rigid motion out of the z = 0 plane).
void rotate_and_tilt(TestMesh& mesh);

// A unit hemisphere (z >= 0) of rings x segments cells with one pole point; its rim is open.
// With seamToPole, a seam runs along the meridian of segment 0 from the rim to the pole.
// The pole's vertex key is returned through pole when given.
TestMesh hemisphere(int rings, int segments, bool seamToPole, int* pole = nullptr);

// A unit sphere from latitude bottom (radians) up to one pole point, open at the bottom rim;
// mirror symmetric about y = 0. With seamToPole, as above.
TestMesh open_sphere(int rings, int segments, double bottom, bool seamToPole, int* pole = nullptr);

// An open cylinder of radius 1 and the given height (points jittered along it), cut
// open along one line by a seam.
TestMesh cut_cylinder(int rings, int segments, float height);

// The faces of a real mesh whose centroid lies within radius of the given vertex's position
// (radius as a fraction of the mesh's bounding box diagonal).
TestMesh mesh_ball_piece(const TestMesh& mesh, int centre, float radius);

// Measures of one chart's layout (point UVs against 3D positions).
struct LayoutMeasure {
    double meanAngleError; // mean over corners of |UV angle - 3D angle| (radians)
    double maxEdgeError;   // after the best uniform scale: max |s * uv length - 3D length|
    int flipped;           // triangles whose UV winding is against the chart's majority
    int degenerate;        // triangles of zero UV area
    int triangles;         // triangles that are not hole fills
};
LayoutMeasure measure_chart(const PChart* chart);

// Signed UV area of a triangle.
double uv_signed_area(const PTriangle* t);

// Every point's UV of a chart is finite.
bool chart_uvs_finite(const PChart* chart);

// The OBJ file of a real mesh from the test data folder (tests/data/meshes).
std::string mesh_path(const char* name);

// Largest distance between two layouts of the same points (u, v pairs) once the second is turned
// and moved onto the first (least squares): the minimum-area rotation picks among nearly equal
// areas, so rounding alone may turn a chart by a right angle.
double aligned_difference(const std::vector<float>& reference, const std::vector<float>& candidate);
