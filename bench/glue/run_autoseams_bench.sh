#!/usr/bin/env bash
# Automatic seams against seamgen's slabs, whole batch runs, on the real meshes without seams and
# on a generated torus of 1,000,000 triangles: time, peak memory, charts and stretch (uvstats).
# Usage: bench/glue/run_autoseams_bench.sh [BUILD_DIR]
set -euo pipefail
build="${1:-build}"
meshes="$(dirname "$0")/../../tests/data/meshes"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$build/tools/make_bumpy_torus/make_bumpy_torus" "$tmp/torus.obj" 1000000
run() { # label, mesh, seams, switches
    cp "$2" "$tmp/run.obj"
    /usr/bin/time -f "%e s %M KB" -o "$tmp/time" "$build/app/marrowby" \
        "$tmp/run.obj,$3,,,-notlive$4" 2>"$tmp/err" || true
    printf '%-28s %-16s charts %-6s %s\n' "$1" "$(tail -1 "$tmp/time")" \
        "$("$build/tools/uvstats/uvstats" "$tmp/run.obj" | awk '/charts/ {print $2}')" \
        "$("$build/tools/uvstats/uvstats" "$tmp/run.obj" | grep stretch | sed 's/ *stretch *//')"
}
for mesh in "$meshes/bunny.obj" "$meshes/dragon_res3.obj" "$meshes/snowden.obj" "$tmp/torus.obj"; do
    name=$(basename "$mesh" .obj)
    run "$name -autoseams" "$mesh" "" ",-autoseams"
    "$build/tools/seamgen/seamgen" "$mesh" "$tmp/slabs.bin" 8 >/dev/null
    run "$name seamgen 8 slabs" "$mesh" "$tmp/slabs.bin" ""
done
