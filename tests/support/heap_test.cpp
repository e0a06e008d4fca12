#include "support/heap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <queue>
#include <random>
#include <vector>

namespace {

void* tag(intptr_t n) {
    return reinterpret_cast<void*>(n);
}
intptr_t untag(void* p) {
    return reinterpret_cast<intptr_t>(p);
}

// Checks the heap invariant: positions match slots, no child strictly below its parent.
void expect_heap_order(const Heap* heap) {
    for (unsigned i = 0; i < heap->count; i++) {
        ASSERT_EQ(heap->tree[i]->position, i);
        if (i > 0) {
            ASSERT_FALSE(heap->tree[i]->value < heap->tree[(i - 1) / 2]->value) << "slot " << i;
        }
    }
}

TEST(Heap, PopsInValueOrderAndEndsEmpty) {
    Heap* heap = heap_new();
    heap_insert(heap, 3, tag(3));
    heap_insert(heap, 1, tag(1));
    heap_insert(heap, 2, tag(2));
    EXPECT_EQ(untag(heap_pop_min(heap)), 1);
    EXPECT_EQ(untag(heap_pop_min(heap)), 2);
    EXPECT_EQ(untag(heap_pop_min(heap)), 3);
    EXPECT_TRUE(heap_is_empty(heap));
    heap_free(heap, nullptr);
}

TEST(Heap, EqualValueInsertedLaterClimbsAboveTheEarlierOne) {
    Heap* heap = heap_new();
    heap_insert(heap, 5, tag(1));
    heap_insert(heap, 5, tag(2));
    EXPECT_EQ(untag(heap_pop_min(heap)), 2);
    heap_free(heap, nullptr);
}

TEST(Heap, PoppedNodeIsReusedByTheNextInsert) {
    Heap* heap = heap_new();
    HeapNode* first = heap_insert(heap, 1, tag(1));
    heap_insert(heap, 2, tag(2));
    heap_pop_min(heap);
    EXPECT_EQ(heap_insert(heap, 7, tag(7)), first);
    heap_free(heap, nullptr);
}

TEST(Heap, RemovingAnInnerNodeKeepsTheRestInOrder) {
    Heap* heap = heap_new();
    std::vector<HeapNode*> nodes;
    for (int v : {4, 8, 1, 9, 6, 3})
        nodes.push_back(heap_insert(heap, float(v), tag(v)));
    EXPECT_EQ(untag(heap_remove(heap, nodes[4])), 6);
    expect_heap_order(heap);
    std::vector<intptr_t> popped;
    while (!heap_is_empty(heap))
        popped.push_back(untag(heap_pop_min(heap)));
    EXPECT_EQ(popped, (std::vector<intptr_t>{1, 3, 4, 8, 9}));
    heap_free(heap, nullptr);
}

TEST(Heap, SingleEntryPopsWithoutASift) {
    Heap* heap = heap_new();
    heap_insert(heap, 2.5f, tag(9));
    EXPECT_EQ(untag(heap_pop_min(heap)), 9);
    EXPECT_EQ(heap->count, 0u);
    heap_free(heap, nullptr);
}

TEST(Heap, TreeCapacityDoublesAtTheSecondThirdAndFifthEntry) {
    Heap* heap = heap_new();
    std::vector<unsigned> capacities;
    for (int i = 0; i < 5; i++) {
        heap_insert(heap, float(i), tag(i));
        capacities.push_back(heap->capacity);
    }
    EXPECT_EQ(capacities, (std::vector<unsigned>{1, 2, 4, 4, 8}));
    heap_free(heap, nullptr);
}

int g_released = 0;
void count_release(void*) {
    g_released++;
}

TEST(Heap, FreeReleasesTheDataStillInTheHeap) {
    Heap* heap = heap_new();
    for (int i = 0; i < 10; i++)
        heap_insert(heap, float(i), tag(i));
    heap_pop_min(heap);
    g_released = 0;
    heap_free(heap, count_release);
    EXPECT_EQ(g_released, 9);
}

TEST(HeapDeathTest, PopOfAnEmptyHeapIsRefused) {
    Heap* heap = heap_new();
    EXPECT_DEATH(heap_pop_min(heap), "heap_pop_min: the heap is empty");
    heap_free(heap, nullptr);
}

// Random inserts, pops and removals against std::priority_queue as the reference of values.
TEST(Heap, RandomSequencesPopTheSameValuesAsAReferenceQueue) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 20; round++) {
        Heap* heap = heap_new();
        std::priority_queue<float, std::vector<float>, std::greater<float>> reference;
        std::vector<HeapNode*> live; // nodes believed to be in the heap
        std::vector<float> liveValues;
        for (int step = 0; step < 2000; step++) {
            int action = int(rng() % 10);
            if (action < 6 || live.empty()) {
                float value = float(rng() % 100); // many ties
                live.push_back(heap_insert(heap, value, tag(step)));
                liveValues.push_back(value);
            } else if (action < 9) {
                // pop: the smallest value must come out
                float expected = *std::min_element(liveValues.begin(), liveValues.end());
                HeapNode* root = heap->tree[0];
                ASSERT_EQ(root->value, expected);
                heap_pop_min(heap);
                auto it = std::find(live.begin(), live.end(), root);
                liveValues.erase(liveValues.begin() + (it - live.begin()));
                live.erase(it);
            } else {
                size_t k = rng() % live.size();
                heap_remove(heap, live[k]);
                live.erase(live.begin() + long(k));
                liveValues.erase(liveValues.begin() + long(k));
            }
            ASSERT_EQ(heap->count, live.size());
        }
        expect_heap_order(heap);
        for (float v : liveValues)
            reference.push(v);
        while (!heap_is_empty(heap)) {
            float value = heap->tree[0]->value;
            heap_pop_min(heap);
            ASSERT_EQ(value, reference.top());
            reference.pop();
        }
        EXPECT_TRUE(reference.empty());
        heap_free(heap, nullptr);
    }
}

} // namespace
