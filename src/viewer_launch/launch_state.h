// Process-wide state of the diagnostic viewer launch.
#pragma once

#include <atomic>

// A viewer launch is in progress; presses on the diagnostic tile are ignored
// meanwhile. Shared between the main thread and the launch's worker threads.
extern std::atomic<bool> viewerLaunching;
