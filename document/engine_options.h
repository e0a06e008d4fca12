#pragma once

// The two unwrap options, set from the command line and toggled from the menus; the engine
// reads them each time it builds or solves.
struct EngineOptions {
    bool useAbf = true;     // angle based flattening before the least-squares step
    bool fillHoles = true;  // fill holes when building charts
    bool fixFlips = true;   // lay out charts with flipped or collapsed triangles again
    bool autoSeams = false; // the batch path adds seams before it unwraps (-autoseams)
    // Tight packing by the charts' shapes instead of the shelf packing of their boxes, at a
    // texture resolution and a padding between charts in texels (the tight packer's defaults,
    // written out: the engine's records must stay out of headers that the window includes).
    bool tightPack = false;
    int packResolution = 1024;
    int packPadding = 4;
};

EngineOptions& engine_options();
