// The default viewer's start with the runtime check and installer offer.
#include "viewer_launch/default_viewer_start.h"

#include "base/medium_links.h"
#include "platform/platform.h"
#include "ui/ui_state.h"
#include "viewer_launch/launch_feedback.h"
#include "viewer_launch/launch_paths.h"
#include "viewer_launch/launch_state.h"

#include <string>

const char *const kDotNet2Key = "SOFTWARE\\Microsoft\\.NETFramework\\v2.0.50727";

namespace {

const char *const kRuntimeMissingTitle = "DICOM Pravix - Brak FRAMEWORK .NET 2.0";
const char *const kRuntimeMissingText = ".NET 2.0 nie jest zainstalowany. Czy uruchomić instalator?";
const char *const kStandardInstallTitle = "DICOM Pravix - Instalacja standardowa .NET 2.0";
const char *const kStandardInstallText = "Czy wykonać standardową instalację pakietu .NET 2.0?";
// Started in the installer directory, where the shell finds it.
const char *const kInstaller = "dotnetfx.exe";

}  // namespace

int isDotNet2Installed() {
  return platform::registryKeyExists(platform::RegistryRoot::LocalMachine, kDotNet2Key) ? 0 : -1;
}

// ---- Start thread ----

int startDefaultViewer() {
  std::string root = platform::currentDirectory();
  while (isDotNet2Installed() != 0) {
    if (platform::askYesNo(platform::foregroundWindow(), kRuntimeMissingText, kRuntimeMissingTitle) !=
        platform::Answer::Yes) {
      viewerLaunching = false;
      return -1;
    }
    bool quiet = platform::askYesNo(platform::foregroundWindow(), kStandardInstallText,
                                    kStandardInstallTitle) == platform::Answer::Yes;
    // An installer that cannot be started leaves no process: the wait returns
    // at once and the runtime is tested again.
    platform::ProcessHandle installer = 0;
    // Only the installer on the medium: one that a link leads off it to is
    // not started, as if it were missing.
    if (!programLeavesMedium(installerDirectory(root) + kInstaller, resolvedMediumRoot()))
      platform::shellExecute(kInstaller, quiet ? "/Q" : "", installerDirectory(root), installer);
    platform::waitForProcess(installer);
  }

  std::string viewer = defaultViewerProgram(root);
  startLaunchSpinner();
  platform::ProcessHandle started = 0;
  // A viewer that is a link leading off the medium is not started either.
  bool accepted = !programLeavesMedium(viewer, resolvedMediumRoot()) &&
                  platform::shellOpen(platform::foregroundWindow(), viewer,
                                      platform::quotedArgument(defaultViewerArgument(root)), "", &started);
  launchState.launchedProgram = started != 0 ? started : kStartedUnwatched;
  if (!accepted) {
    reportProgramNotStarted(viewer);
    return -1;
  }
  return 0;
}
