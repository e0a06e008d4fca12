#!/bin/sh
# Runs the solver layer benchmark once on the reference BLAS and once on OpenBLAS (and once more on
# OpenBLAS held to one thread), choosing the library per process through the loader path, so the
# machine's BLAS alternative stays as it is. The label column names the BLAS actually loaded.
#
# usage: run_blas_comparison.sh [path/to/bench_lscm_opennl] [benchmark options...]
set -eu

bench=${1:-build/bench/Lscm/bench_lscm_opennl}
[ $# -gt 0 ] && shift
libdir=/usr/lib/x86_64-linux-gnu
reference=$libdir/blas
openblas=$libdir/openblas-pthread

for dir in "$reference" "$openblas"; do
    if [ ! -e "$dir/libblas.so.3" ]; then
        echo "missing $dir/libblas.so.3" >&2
        exit 1
    fi
done

echo "== reference BLAS ($reference)"
LD_LIBRARY_PATH=$reference "$bench" --benchmark_counters_tabular=true "$@"
echo
echo "== OpenBLAS ($openblas), default threads"
LD_LIBRARY_PATH=$openblas "$bench" --benchmark_counters_tabular=true "$@"
echo
echo "== OpenBLAS ($openblas), OPENBLAS_NUM_THREADS=1"
LD_LIBRARY_PATH=$openblas OPENBLAS_NUM_THREADS=1 "$bench" --benchmark_counters_tabular=true "$@"
