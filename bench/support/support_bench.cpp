// Support library benchmarks: heap against std::priority_queue, edge hash inserts and lookups,
// and a ring path across a 1000 x 1000 quad grid against building its edge table.
#include "support/edge_hash.h"
#include "support/edge_table.h"
#include "support/heap.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <queue>
#include <random>
#include <vector>

namespace {

constexpr int kEntries = 1000000;

std::vector<float> random_values(int n) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> dist(0.0f, 1000.0f);
    std::vector<float> values(static_cast<size_t>(n));
    for (float& v : values)
        v = dist(rng);
    return values;
}

void BM_HeapInsertPop(benchmark::State& state) {
    std::vector<float> values = random_values(kEntries);
    for (auto _ : state) {
        Heap* heap = heap_new();
        for (int i = 0; i < kEntries; i++)
            heap_insert(heap, values[size_t(i)], reinterpret_cast<void*>(intptr_t(i)));
        while (!heap_is_empty(heap))
            benchmark::DoNotOptimize(heap_pop_min(heap));
        heap_free(heap, nullptr);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_HeapInsertPop)->Unit(benchmark::kMillisecond);

void BM_StdPriorityQueueInsertPop(benchmark::State& state) {
    std::vector<float> values = random_values(kEntries);
    using Entry = std::pair<float, void*>;
    for (auto _ : state) {
        std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue;
        for (int i = 0; i < kEntries; i++)
            queue.push({values[size_t(i)], reinterpret_cast<void*>(intptr_t(i))});
        while (!queue.empty()) {
            benchmark::DoNotOptimize(queue.top().second);
            queue.pop();
        }
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_StdPriorityQueueInsertPop)->Unit(benchmark::kMillisecond);

// The pairs of a mesh's edges: each vertex with a few neighbours.
std::vector<std::pair<int, int>> edge_pairs(int n) {
    std::mt19937 rng(2);
    std::vector<std::pair<int, int>> pairs(static_cast<size_t>(n));
    for (int i = 0; i < n; i++)
        pairs[size_t(i)] = {i / 3, i / 3 + 1 + int(rng() % 1000)};
    return pairs;
}

void BM_EdgeHashInsert(benchmark::State& state) {
    auto pairs = edge_pairs(kEntries);
    for (auto _ : state) {
        EdgeHash* hash = edgehash_new();
        for (auto [a, b] : pairs)
            edgehash_insert(hash, a, b, nullptr);
        edgehash_free(hash, nullptr);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_EdgeHashInsert)->Unit(benchmark::kMillisecond);

void BM_EdgeHashLookup(benchmark::State& state) {
    auto pairs = edge_pairs(kEntries);
    EdgeHash* hash = edgehash_new();
    for (auto [a, b] : pairs)
        edgehash_insert(hash, a, b, nullptr);
    for (auto _ : state) {
        int found = 0;
        for (auto [a, b] : pairs)
            found += edgehash_has_key(hash, b, a);
        benchmark::DoNotOptimize(found);
    }
    edgehash_free(hash, nullptr);
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_EdgeHashLookup)->Unit(benchmark::kMillisecond);

// A grid of n x n quads; vertex (x, y) has index y * (n + 1) + x.
struct Grid {
    int n;
    std::vector<int> corners;
};

int grid_face(const void* context, int face, const int** vertexIndices) {
    *vertexIndices = static_cast<const Grid*>(context)->corners.data() + 4 * face;
    return 4;
}

Grid quad_grid(int n) {
    Grid grid{n, {}};
    grid.corners.reserve(size_t(4) * size_t(n) * size_t(n));
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            int v = y * (n + 1) + x;
            grid.corners.insert(grid.corners.end(), {v, v + 1, v + n + 2, v + n + 1});
        }
    return grid;
}

void build_table(const Grid& grid) {
    edge_table_clear();
    edge_table_build_verts((grid.n + 1) * (grid.n + 1));
    edge_table_build_faces(grid.n * grid.n, grid_face, &grid);
}

void BM_EdgeTableBuild1000x1000(benchmark::State& state) {
    Grid grid = quad_grid(1000);
    for (auto _ : state)
        build_table(grid);
    edge_table_clear();
}
BENCHMARK(BM_EdgeTableBuild1000x1000)->Unit(benchmark::kMillisecond);

void count_selected(void* context, int, int) {
    ++*static_cast<int*>(context);
}

void BM_RingPathAcross1000x1000(benchmark::State& state) {
    Grid grid = quad_grid(1000);
    build_table(grid);
    const int row = 500, v = row * 1001; // bottom edge of the first quad of row 500
    int selected = 0;
    for (auto _ : state) {
        selected = 0;
        edge_table_ring_path(v, v + 1, v + 1, v + 1002, count_selected, &selected);
    }
    state.counters["selected"] = selected;
    edge_table_clear();
}
BENCHMARK(BM_RingPathAcross1000x1000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
