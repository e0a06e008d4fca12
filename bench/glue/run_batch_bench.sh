#!/usr/bin/env bash
# The batch path stage by stage on the real meshes (cut into discs by seamgen) and on generated
# grids of about 10,000, 100,000 and 1,000,000 triangles. Each case runs in its own process so
# that the peak memory is its own. Usage: bench/glue/run_batch_bench.sh [BUILD_DIR]
set -euo pipefail
build="${1:-build}"
meshes="$(dirname "$0")/../../tests/data/meshes"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for mesh in bunny dragon_res3 snowden; do
    "$build/tools/seamgen/seamgen" "$meshes/$mesh.obj" "$tmp/$mesh.bin" 8 >/dev/null
    for mode in "" -lscm; do
        "$build/bench/glue/batch_stages" "$meshes/$mesh.obj" "$tmp/$mesh.bin" $mode
    done
done
for n in 71 224 707; do
    for mode in "" -lscm; do
        "$build/bench/glue/batch_stages" --grid "$n" $mode
    done
done
for n in 300 1000; do
    for mode in "" -lscm; do
        "$build/bench/glue/batch_stages" --flat "$n" $mode
    done
done
