// The desktop's document portal, for files that a confined application (a
// browser packaged as a snap or a flatpak) could not read by their path: our
// working directory lives in folders such an application never sees.
#pragma once

#include "platform/platform.h"

#include <string>

namespace platform {

enum class PortalAnswer {
  opened,   // the portal took the file
  refused,  // no portal, no bus, or the request was refused: nothing was started
  silent,   // the bus did not answer in time, or waits are being given up
};

// Asks the session's portal to open the file at `path` with its default
// handler, handing it the open file rather than the name, so that the portal
// can export it to a confined handler. Only a regular file is handed on; the
// bus is given at most a few seconds.
PortalAnswer openThroughDocumentPortal(const std::string &path, WindowHandle owner);

// Whether the session bus, when there is one, answers within the same few
// seconds. GIO's own launching waits for the bus without a limit.
bool sessionBusSilent();

// Whether waits for the desktop are to be given up now (abandonWaitsWhen).
bool waitsAbandoned();

}  // namespace platform
