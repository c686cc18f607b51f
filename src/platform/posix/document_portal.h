// The desktop's document portal, for files that a confined application (a
// browser packaged as a snap or a flatpak) could not read by their path: our
// working directory lives in folders such an application never sees.
#pragma once

#include "platform/platform.h"

#include <string>

namespace platform {

// Asks the session's portal to open the file at `path` with its default
// handler, handing it the open file rather than the name, so that the portal
// can export it to a confined handler. False when the session offers no
// portal or the request was refused; nothing was started then.
bool openThroughDocumentPortal(const std::string &path, WindowHandle owner);

}  // namespace platform
