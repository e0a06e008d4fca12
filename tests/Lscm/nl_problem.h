#pragma once

// Small least-squares and square problems for the solver layer's suites, with independent
// double-precision answers.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct NlTerm {
    unsigned variable;
    float coefficient;
};
using NlRow = std::vector<NlTerm>;

struct LsProblem {
    unsigned variables = 0;
    std::map<unsigned, float> locked; // variable → value
    std::vector<NlRow> rows;
};

// One row: nl_begin(NL_BLOCK_ROW), its terms, nl_end(NL_BLOCK_ROW).
void nl_state_row(const NlRow& row);

// Feeds the problem into the current context from state 0 (or 7 with reuse) up to state 5.
void nl_state_least_squares(const LsProblem& problem);

// New context, one nl_solve_reusing(keep); the context is left current and returned.
NLContext* nl_run_least_squares(const LsProblem& problem, bool keep, bool* ok);

std::vector<float> nl_read_variables(unsigned count);

// The free unknowns of the normal equations AᵀA x = −Aᵀl, solved densely in double with partial
// pivoting; the result holds every variable (locked ones at their value). Empty when singular.
std::vector<double> dense_least_squares(const LsProblem& problem);

// Relative backward error of a candidate for the normal equations, computed in double.
double normal_equation_residual(const LsProblem& problem, const std::vector<float>& values);

// Dense square solve in double with partial pivoting; empty when singular.
std::vector<double> dense_solve(std::vector<std::vector<double>> A, std::vector<double> b);

struct TriMesh {
    std::vector<double> xyz;   // 3 per point
    std::vector<unsigned> tri; // 3 per triangle, 0-based
    unsigned points() const { return unsigned(xyz.size() / 3); }
};

// A (cols+1) × (rows+1) point grid, each cell cut into two triangles, gently curved in z so that
// the angles vary.
TriMesh grid_mesh(unsigned cols, unsigned rows);
// Triangles of an OBJ file ("v" and triangular "f" lines only); empty on failure.
TriMesh read_obj_triangles(const std::string& path);

// The two rows per triangle of a conformal map (u, v of point k are variables 2k, 2k + 1), with
// the points pinned at their x, y positions.
LsProblem conformal_problem(const TriMesh& mesh, unsigned pin_a, unsigned pin_b);

// Deterministic pseudo-random numbers in [-1, 1).
struct TestRandom {
    uint32_t state;
    float next();
};
