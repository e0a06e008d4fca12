#pragma once

#include "unwrap/unwrap_records.h"

#include <functional>

// Least-squares conformal maps, one sparse least-squares system per chart. Each triangle adds two
// rows that keep its angles (the ABF angles when ABF succeeded, else its 3D angles). A chart needs
// two fixed points: the user's pins, or two points the engine chooses (automatic pins).
//
// Flow of one run: unwrap_lscm_begin, unwrap_lscm_solve (once for a one-shot unwrap, again after
// every move of the user's pins in live mode), unwrap_flush, unwrap_lscm_end.

// Allocated -> LSCM state. For every chart: leaves it without a solver context (not solved, UVs
// untouched) when exactly one point is pinned, or in live mode when no point is pinned or every
// point is selected. Otherwise runs ABF when useAbf is set (falling back to 3D angles silently),
// flags the chart user pinned when more than one point is pinned, else chooses two automatic pins
// and places them, numbers the points 0 .. npoints - 1 (key) and gives the chart a new
// least-squares context with two variables per point.
void unwrap_lscm_begin(PHandle* handle, bool live, bool useAbf);

// LSCM state. Solves every chart that has a context (pinned points re-read their pinned corner
// UVs first, so moved pins take effect). After a successful solve a chart without user pins is
// rotated to its minimum-area orientation. A user-pinned chart keeps its context and its kept
// factorisation for the next call; any other chart (automatic pins, or a failed solve, which
// leaves all of its UVs at (0, 0)) loses its context and is not solved again by this handle.
void unwrap_lscm_solve(PHandle* handle);

// Allocated -> LSCM state, outside live mode: unwrap_lscm_begin(handle, false, useAbf) and then
// unwrap_lscm_solve(handle), with the same results, in one pass. Each chart is solved as soon as
// it is ready, so no thread waits for the slowest chart between the two steps.
void unwrap_lscm_flatten(PHandle* handle, bool useAbf);

// Outside live mode, begin, solve and flatten work on the charts concurrently on
// unwrap_thread_count() threads (the results are the same for any count); in live mode on the
// calling thread only. MARROWBY_THREADS, when it holds a positive number, sets the count; else the
// machine's cores.
int unwrap_thread_count();

// Runs work on every chart of the handle, the largest first, on unwrap_thread_count() threads;
// each chart is touched by one thread only.
void unwrap_for_each_chart(PHandle* handle, const std::function<void(PChart*)>& work);

// LSCM -> allocated state: deletes every chart's context and ABF angles, clears automatic pins.
void unwrap_lscm_end(PHandle* handle);

// The two automatic pins of a chart without user pins: the ends of a mirror line when more than
// half of the longest boundary is a run of split points, else the extreme points along the axis
// of largest 3D extent. Either may be the same point (pin placement handles that).
void unwrap_lscm_choose_pins(PChart* chart, PPoint** pin1, PPoint** pin2);

// Pin placement: gives the two pins UVs from their 3D positions (the axis of largest difference on
// u, except z, which goes on v). When both are one point, the first two corners of the chart's
// first triangle become the pins instead, at (0, 0.5) and (1, 0.5). Returns the pins used.
void unwrap_lscm_place_pins(PChart* chart, PPoint** pin1, PPoint** pin2);
