#pragma once

// The two unwrap options, set from the command line and toggled from the menus; the engine
// reads them each time it builds or solves.
struct EngineOptions {
    bool useAbf = true;    // angle based flattening before the least-squares step
    bool fillHoles = true; // fill holes when building charts
};

EngineOptions& engine_options();
