// State shared by the threads of one viewer launch.
#include "viewer_launch/launch_state.h"

LaunchState launchState;
