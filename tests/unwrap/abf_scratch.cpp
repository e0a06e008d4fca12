#include "flatten_test_util.h"
#include "support/guarded_alloc.h"
#include "unwrap/unwrap_abf.h"
#include <gtest/gtest.h>
#include <cmath>
TEST(Scratch, Search) {
    for (float amp : {0.5f, 1.0f, 2.0f, 4.0f, 8.0f}) {
        for (unsigned seed = 1; seed < 30; seed++) {
            TestMesh mesh = test_mesh_grid(4);
            unsigned st = seed;
            for (auto& p : mesh.positions) { st = st * 1664525u + 1013904223u; p[2] = amp * (float(st >> 8) / float(1u << 24) - 0.5f); }
            PHandle* h = test_mesh_build(mesh, false);
            bool ok = unwrap_abf_chart(h->charts[0]);
            int steps = unwrap_abf_last_steps();
            if (!ok || steps > 6) std::printf("amp %g seed %u ok %d steps %d\n", amp, seed, ok, steps);
            if (ok) mem_free(h->charts[0]->u.lscm.abfAngles);
            unwrap_delete(h);
        }
    }
}
