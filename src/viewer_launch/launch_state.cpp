// Process-wide state of the diagnostic viewer launch.
#include "viewer_launch/launch_state.h"

std::atomic<bool> viewerLaunching{false};
