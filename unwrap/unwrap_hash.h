#pragma once

#include "unwrap/unwrap_records.h"

// The construction hashes. Records of all three kinds begin with their list link and their key,
// so one hash works for each; the functions are written per record type.

// A hash over the list whose head is *list, with the first table size not below sizeHint.
PHash* phash_new(void** list, int sizeHint);
// Frees the hash and its buckets (not the records).
void phash_delete(PHash* hash);

void phash_insert(PHash* hash, PPoint* point);
void phash_insert(PHash* hash, PHalfEdge* edge);
void phash_insert(PHash* hash, PTriangle* triangle);

// The first record with the key, or null.
PPoint* phash_lookup_point(PHash* hash, int key);
PHalfEdge* phash_lookup_edge(PHash* hash, int key);
// The record after rec with the same key (rec must have been found by a lookup), or null.
PHalfEdge* phash_next_edge(PHash* hash, int key, PHalfEdge* rec);

// Relinks a list of triangles held in reverse order of addition (each put at the head) into the
// order that phash_insert into a hash made with size hint 1 gives the same triangles added one by
// one. The hash walks all of its records at every one of its many growths; this takes a few
// passes over arrays instead.
void phash_order_as_inserted(PTriangle** list);

// The end-key index of half-edges (see PEdgeIndex).
PEdgeIndex* pedgeindex_new();
void pedgeindex_delete(PEdgeIndex* index);
// Room for `keys` end-key pairs without growing (the index holds the same either way).
void pedgeindex_reserve(PEdgeIndex* index, unsigned keys);
// Files e under the keys of its two end points.
void pedgeindex_insert(PEdgeIndex* index, PHalfEdge* e);
// The first half-edge filed under the keys a and b (either order), or null; the others that
// join the same keys follow through nextSameEnds.
PHalfEdge* pedgeindex_lookup(const PEdgeIndex* index, int a, int b);
