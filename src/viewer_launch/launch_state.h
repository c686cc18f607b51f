// State shared by the threads of one viewer launch.
#pragma once

#include <atomic>

// The program the current launch started, for its watch: 0 until it is
// started, kStartedUnwatched when what was started cannot be watched (a
// document opened by the desktop), else its process handle.
extern std::atomic<long> launchedProgram;
constexpr long kStartedUnwatched = -1;
