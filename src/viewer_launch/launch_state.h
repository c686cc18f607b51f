// State shared by the threads of one viewer launch.
#pragma once

#include "platform/platform.h"

#include <atomic>

struct LaunchState {
  // The program the current launch started, for its watch: 0 until it is
  // started, kStartedUnwatched when what was started cannot be watched (a
  // document opened by the desktop), else its process handle.
  std::atomic<platform::ProcessHandle> launchedProgram{0};
  // The launch's worker threads from their creation to the end of their body.
  std::atomic<int> runningThreads{0};
};
// Shared by the main thread and the launch's own threads.
extern LaunchState launchState;
constexpr platform::ProcessHandle kStartedUnwatched = -1;
