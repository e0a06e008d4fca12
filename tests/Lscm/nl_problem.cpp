#include "Lscm/opennl.h"

#include "nl_problem.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

void nl_state_row(const NlRow& row) {
    nl_begin(NL_BLOCK_ROW);
    for (const NlTerm& t : row)
        nl_coefficient(t.variable, t.coefficient);
    nl_end(NL_BLOCK_ROW);
}

void nl_state_least_squares(const LsProblem& problem) {
    nl_begin(NL_BLOCK_SYSTEM);
    for (auto [variable, value] : problem.locked) {
        nl_lock_variable(variable);
        nl_set_variable(variable, value);
    }
    nl_begin(NL_BLOCK_MATRIX);
    for (const NlRow& row : problem.rows)
        nl_state_row(row);
    nl_end(NL_BLOCK_MATRIX);
    nl_end(NL_BLOCK_SYSTEM);
}

NLContext* nl_run_least_squares(const LsProblem& problem, bool keep, bool* ok) {
    NLContext* ctx = nl_new_context();
    nl_set_parameter(NL_PARAM_VARIABLE_COUNT, int(problem.variables));
    nl_set_parameter(NL_PARAM_LEAST_SQUARES, 1);
    nl_state_least_squares(problem);
    *ok = nl_solve_reusing(keep);
    return ctx;
}

std::vector<float> nl_read_variables(unsigned count) {
    std::vector<float> values(count);
    for (unsigned i = 0; i < count; ++i)
        values[i] = nl_get_variable(i);
    return values;
}

namespace {

struct Normal {
    std::vector<int> column; // variable → free column, -1 when locked
    std::vector<unsigned> variable_of;
    std::vector<std::vector<double>> AtA;
    std::vector<double> rhs; // −Aᵀl
};

Normal normal_equations(const LsProblem& p) {
    Normal ne;
    ne.column.assign(p.variables, -1);
    for (unsigned v = 0; v < p.variables; ++v) {
        if (!p.locked.count(v)) {
            ne.column[v] = int(ne.variable_of.size());
            ne.variable_of.push_back(v);
        }
    }
    const size_t n = ne.variable_of.size();
    ne.AtA.assign(n, std::vector<double>(n, 0.0));
    ne.rhs.assign(n, 0.0);
    for (const NlRow& row : p.rows) {
        std::vector<double> a(n, 0.0);
        double l = 0.0;
        for (const NlTerm& t : row) {
            if (ne.column[t.variable] < 0)
                l += double(t.coefficient) * double(p.locked.at(t.variable));
            else
                a[size_t(ne.column[t.variable])] += t.coefficient;
        }
        for (size_t i = 0; i < n; ++i) {
            if (a[i] == 0.0)
                continue;
            for (size_t j = 0; j < n; ++j)
                ne.AtA[i][j] += a[i] * a[j];
            ne.rhs[i] -= a[i] * l;
        }
    }
    return ne;
}

} // namespace

std::vector<double> dense_solve(std::vector<std::vector<double>> A, std::vector<double> b) {
    const size_t n = b.size();
    double scale = 0.0;
    for (const auto& row : A)
        for (double v : row)
            scale = std::max(scale, std::fabs(v));
    for (size_t k = 0; k < n; ++k) {
        size_t pivot = k;
        for (size_t i = k + 1; i < n; ++i)
            if (std::fabs(A[i][k]) > std::fabs(A[pivot][k]))
                pivot = i;
        if (std::fabs(A[pivot][k]) <= 1e-12 * scale)
            return {};
        std::swap(A[k], A[pivot]);
        std::swap(b[k], b[pivot]);
        for (size_t i = k + 1; i < n; ++i) {
            double f = A[i][k] / A[k][k];
            for (size_t j = k; j < n; ++j)
                A[i][j] -= f * A[k][j];
            b[i] -= f * b[k];
        }
    }
    std::vector<double> x(n);
    for (size_t k = n; k-- > 0;) {
        double s = b[k];
        for (size_t j = k + 1; j < n; ++j)
            s -= A[k][j] * x[j];
        x[k] = s / A[k][k];
    }
    return x;
}

std::vector<double> dense_least_squares(const LsProblem& p) {
    Normal ne = normal_equations(p);
    std::vector<double> x = dense_solve(ne.AtA, ne.rhs);
    if (x.size() != ne.variable_of.size())
        return {};
    std::vector<double> values(p.variables);
    for (unsigned v = 0; v < p.variables; ++v)
        values[v] = ne.column[v] < 0 ? double(p.locked.at(v)) : x[size_t(ne.column[v])];
    return values;
}

double normal_equation_residual(const LsProblem& p, const std::vector<float>& values) {
    // Matrix-free: r = Aᵀ(A x + l) over the free columns, against |Aᵀ|(|A||x| + |l|).
    std::vector<double> r(p.variables, 0.0), scale(p.variables, 0.0);
    for (const NlRow& row : p.rows) {
        double sum = 0.0, mag = 0.0;
        for (const NlTerm& t : row) {
            sum += double(t.coefficient) * values[t.variable];
            mag += std::fabs(double(t.coefficient) * values[t.variable]);
        }
        for (const NlTerm& t : row) {
            r[t.variable] += t.coefficient * sum;
            scale[t.variable] += std::fabs(t.coefficient) * mag;
        }
    }
    double worst = 0.0;
    for (unsigned v = 0; v < p.variables; ++v)
        if (!p.locked.count(v) && scale[v] > 0.0)
            worst = std::max(worst, std::fabs(r[v]) / scale[v]);
    return worst;
}

TriMesh grid_mesh(unsigned cols, unsigned rows) {
    TriMesh m;
    for (unsigned j = 0; j <= rows; ++j) {
        for (unsigned i = 0; i <= cols; ++i) {
            double x = double(i) / cols, y = double(j) / rows;
            m.xyz.insert(m.xyz.end(), {x, y, 0.3 * std::sin(2.0 * x) * std::cos(1.5 * y)});
        }
    }
    for (unsigned j = 0; j < rows; ++j) {
        for (unsigned i = 0; i < cols; ++i) {
            unsigned a = j * (cols + 1) + i, b = a + 1, c = a + cols + 1, d = c + 1;
            m.tri.insert(m.tri.end(), {a, b, d, a, d, c});
        }
    }
    return m;
}

TriMesh read_obj_triangles(const std::string& path) {
    TriMesh m;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::string tag;
        s >> tag;
        if (tag == "v") {
            double x, y, z;
            s >> x >> y >> z;
            m.xyz.insert(m.xyz.end(), {x, y, z});
        } else if (tag == "f") {
            unsigned a, b, c;
            s >> a >> b >> c;
            m.tri.insert(m.tri.end(), {a - 1, b - 1, c - 1});
        }
    }
    return m;
}

namespace {

// (P1, P2, P3) -> (P3, P1, P2).
template <typename T> void rotate_corners(T (&a)[3]) {
    T last = a[2];
    a[2] = a[1];
    a[1] = a[0];
    a[0] = last;
}

double corner_angle(const TriMesh& m, unsigned at, unsigned p, unsigned q) {
    double u[3], v[3];
    for (int k = 0; k < 3; ++k) {
        u[k] = m.xyz[3 * p + k] - m.xyz[3 * at + k];
        v[k] = m.xyz[3 * q + k] - m.xyz[3 * at + k];
    }
    double dot = u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
    double cx = u[1] * v[2] - u[2] * v[1], cy = u[2] * v[0] - u[0] * v[2],
           cz = u[0] * v[1] - u[1] * v[0];
    return std::atan2(std::sqrt(cx * cx + cy * cy + cz * cz), dot);
}

} // namespace

LsProblem conformal_problem(const TriMesh& m, unsigned pin_a, unsigned pin_b) {
    LsProblem p;
    p.variables = 2 * m.points();
    for (unsigned pin : {pin_a, pin_b}) {
        p.locked[2 * pin] = float(m.xyz[3 * pin]);
        p.locked[2 * pin + 1] = float(m.xyz[3 * pin + 1]);
    }
    for (size_t t = 0; t + 2 < m.tri.size(); t += 3) {
        unsigned P[3] = {m.tri[t], m.tri[t + 1], m.tri[t + 2]};
        double a[3] = {corner_angle(m, P[0], P[1], P[2]), corner_angle(m, P[1], P[2], P[0]),
                       corner_angle(m, P[2], P[0], P[1])};
        // The corner with the largest sine goes last, so the ratio below stays bounded.
        while (std::sin(a[2]) < std::max(std::sin(a[0]), std::sin(a[1]))) {
            rotate_corners(P);
            rotate_corners(a);
        }
        double ratio = std::sin(a[2]) == 0.0 ? 1.0 : std::sin(a[1]) / std::sin(a[2]);
        float c = float(std::cos(a[0]) * ratio), s = float(std::sin(a[0]) * ratio);
        p.rows.push_back({{2 * P[0], c - 1.0f},
                          {2 * P[0] + 1, -s},
                          {2 * P[1], -c},
                          {2 * P[1] + 1, s},
                          {2 * P[2], 1.0f}});
        p.rows.push_back({{2 * P[0], s},
                          {2 * P[0] + 1, c - 1.0f},
                          {2 * P[1], -s},
                          {2 * P[1] + 1, -c},
                          {2 * P[2] + 1, 1.0f}});
    }
    return p;
}

float TestRandom::next() {
    state = state * 1664525u + 1013904223u;
    return float(state >> 8) / float(1u << 23) - 1.0f;
}
