#include "flatten_test_util.h"
#include "support/guarded_alloc.h"
#include "unwrap/unwrap_abf.h"
#include "unwrap/unwrap_lscm.h"
#include <cmath>
#include <gtest/gtest.h>
static void run(const char* name, TestMesh mesh) {
    for (bool abf : {false, true}) {
        PHandle* h = test_mesh_build(mesh, true);
        unwrap_lscm_begin(h, false, abf);
        int steps = unwrap_abf_last_steps();
        bool ok = h->charts[0]->u.lscm.abfAngles != nullptr;
        unwrap_lscm_solve(h);
        LayoutMeasure m = measure_chart(h->charts[0]);
        std::printf("%s abf %d ok %d steps %d tris %d: mean %.5f flipped %d\n", name, abf, ok,
                    steps, h->charts[0]->ntriangles, m.meanAngleError, m.flipped);
        unwrap_lscm_end(h);
        unwrap_delete(h);
    }
}
TEST(Scratch, Search) {
    run("hemi", hemisphere(8, 24, true));
    run("hemi small", hemisphere(4, 12, true));
    run("cyl", cut_cylinder(8, 20, 2.5f));
    run("sphere -1.2", open_sphere(10, 24, -1.2, true));
    run("sphere -0.8", open_sphere(10, 24, -0.8, true));
    run("sphere -1.2 small", open_sphere(5, 10, -1.2, true));
    TestMesh bunny = test_mesh_load_obj(mesh_path("bunny.obj"));
    for (int c : {1, 500, 1000, 1500})
        for (float r : {0.1f, 0.2f, 0.3f}) {
            char buf[64];
            snprintf(buf, 64, "bunny %d %.1f", c, r);
            run(buf, mesh_ball_piece(bunny, c, r));
        }
}
