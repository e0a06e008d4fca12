// Charts flattened on several threads come out exactly as on one.

#include "Lscm/opennl.h"
#include "flatten_test_util.h"
#include "unwrap/unwrap_lscm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// Sets MARROWBY_THREADS for the lifetime of the object (unset when value is null).
class ThreadsVariable {
public:
    explicit ThreadsVariable(const char* value) {
        if (const char* old = std::getenv("MARROWBY_THREADS"))
            saved_ = old, had_ = true;
        if (value)
            setenv("MARROWBY_THREADS", value, 1);
        else
            unsetenv("MARROWBY_THREADS");
    }
    ~ThreadsVariable() {
        if (had_)
            setenv("MARROWBY_THREADS", saved_.c_str(), 1);
        else
            unsetenv("MARROWBY_THREADS");
    }

private:
    std::string saved_;
    bool had_ = false;
};

// A wavy n x n grid cut by seams every `step` rows and columns into square charts of uneven
// sizes (the last row and column of charts are smaller).
TestMesh cut_grid(int n, int step) {
    TestMesh mesh = test_mesh_grid(n);
    for (auto& p : mesh.positions)
        p[2] = 0.1f * std::sin(0.7f * p[0]) * std::cos(0.5f * p[1]);
    auto key = [n](int x, int y) { return y * (n + 1) + x; };
    for (int k = step; k < n; k += step)
        for (int t = 0; t < n; t++) {
            mesh.seams.push_back({key(k, t), key(k, t + 1)});
            mesh.seams.push_back({key(t, k), key(t + 1, k)});
        }
    return mesh;
}

// Every chart's point UVs, bit patterns in chart and point order, after a one-shot flattening:
// begin and then solve, or both in one pass.
std::vector<uint32_t> flatten_bits(TestMesh& mesh, bool useAbf, bool onePass = false) {
    PHandle* handle = test_mesh_build(mesh, true);
    if (onePass) {
        unwrap_lscm_flatten(handle, useAbf);
    } else {
        unwrap_lscm_begin(handle, false, useAbf);
        unwrap_lscm_solve(handle);
    }
    unwrap_lscm_end(handle);
    std::vector<uint32_t> bits;
    for (int i = 0; i < handle->ncharts; i++)
        for (const PPoint* p = handle->charts[i]->points; p; p = p->next)
            for (float value : p->uv) {
                uint32_t word;
                std::memcpy(&word, &value, sizeof word);
                bits.push_back(word);
            }
    unwrap_delete(handle);
    return bits;
}

TEST(ParallelFlatten, AnyThreadCountGivesTheSameBitsAsOne) {
    TestMesh mesh = cut_grid(36, 7);
    for (bool abf : {false, true}) {
        std::vector<uint32_t> serial;
        {
            ThreadsVariable one("1");
            serial = flatten_bits(mesh, abf);
        }
        ASSERT_GT(serial.size(), 2000u);
        for (const char* threads : {"2", "3", "8"}) {
            ThreadsVariable many(threads);
            EXPECT_EQ(flatten_bits(mesh, abf), serial)
                << threads << " threads" << (abf ? " with ABF" : "");
            EXPECT_EQ(flatten_bits(mesh, abf, true), serial)
                << threads << " threads in one pass" << (abf ? " with ABF" : "");
        }
    }
}

TEST(ParallelFlatten, LiveRunsStayOnTheCallingThread) {
    ThreadsVariable many("4");
    TestMesh mesh = cut_grid(12, 4);
    // Two pinned corners in every chart, so that each takes part in the live run.
    for (TestMesh::Face& f : mesh.faces)
        for (int k = 0; k < f.n; k++)
            f.pin[k] = 1;
    PHandle* handle = test_mesh_build(mesh, true);
    ASSERT_EQ(handle->ncharts, 9);
    unwrap_lscm_begin(handle, true, false);
    // Contexts are made current where they are created: the last chart's is this thread's.
    EXPECT_EQ(nl_current_context(), handle->charts[handle->ncharts - 1]->u.lscm.context);
    unwrap_lscm_end(handle);
    unwrap_delete(handle);
}

TEST(ParallelFlatten, ThreadCountComesFromTheVariableOrTheCores) {
    const int cores = std::max(1, int(std::thread::hardware_concurrency()));
    struct Case {
        const char* value;
        int expected;
    } cases[] = {{"3", 3},      {"1", 1},        {nullptr, cores}, {"0", cores},
                 {"-2", cores}, {"four", cores}, {"2x", cores},    {"", cores}};
    for (const Case& c : cases) {
        ThreadsVariable variable(c.value);
        EXPECT_EQ(unwrap_thread_count(), c.expected) << (c.value ? c.value : "(unset)");
    }
}

} // namespace
