#!/usr/bin/env bash
# Time from starting marrowby on snowden (cut into 8 slabs) to its window being viewable on a
# virtual display, as a user starting it from a shell would see it. Each run starts its own
# display and works on a copy of the mesh. Needs xwininfo (x11-utils).
# Usage: bench/window/run_startup_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build="${1:-build}"
runs="${2:-5}"
mesh="$(dirname "$0")/../../tests/data/meshes/snowden.obj"
command -v xwininfo >/dev/null || {
    echo "run_startup_bench: xwininfo is missing (apt-get install x11-utils)" >&2
    exit 1
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$build/tools/seamgen/seamgen" "$mesh" "$tmp/seams.bin" 8 >/dev/null

# Runs inside the display: starts the program, polls for its viewable window, prints seconds.
cat >"$tmp/one_run.sh" <<'EOF'
start=$(date +%s%N)
"$1" "$2" >/dev/null 2>&1 &
app=$!
for _ in $(seq 1 2000); do
    id=$(xwininfo -root -tree 2>/dev/null | awk '/"Marrowby 1.1"/ {print $1; exit}')
    if [ -n "$id" ] && xwininfo -id "$id" 2>/dev/null | grep -q IsViewable; then
        echo "scale=3; ($(date +%s%N) - $start) / 1000000000" | bc
        break
    fi
    sleep 0.01
done
kill "$app" 2>/dev/null
wait "$app" 2>/dev/null || true
EOF

for run in $(seq 1 "$runs"); do
    cp "$mesh" "$tmp/snowden.obj"
    seconds=$(xvfb-run -a -s "-screen 0 1280x1024x24" bash "$tmp/one_run.sh" \
        "$build/app/marrowby" "$tmp/snowden.obj,$tmp/seams.bin,,,")
    echo "run $run: window viewable after ${seconds:-?} s"
done
