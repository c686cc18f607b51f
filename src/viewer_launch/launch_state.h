// State shared by the threads of one viewer launch.
#pragma once

#include "platform/platform.h"

#include <atomic>

// The program the current launch started, for its watch: 0 until it is
// started, kStartedUnwatched when what was started cannot be watched (a
// document opened by the desktop), else its process handle.
extern std::atomic<platform::ProcessHandle> launchedProgram;
constexpr platform::ProcessHandle kStartedUnwatched = -1;
