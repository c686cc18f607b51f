// The diagnostic tile's press, the start threads and the splash window watch.
#include "viewer_launch/viewer_launch.h"

#include "base/medium_links.h"
#include "base/quit_request.h"
#include "base/trace.h"
#include "platform/glib_owners.h"
#include "platform/platform.h"
#include "ui/ui_state.h"
#include "viewer_launch/default_viewer_start.h"
#include "viewer_launch/launch_feedback.h"
#include "viewer_launch/launch_paths.h"
#include "viewer_launch/launch_state.h"
#include "viewer_launch/viewer_settings.h"

#include <atomic>
#include <memory>
#include <string>

namespace {

constexpr unsigned kFirstWatchDelayMs = 200;
constexpr unsigned kWatchIntervalMs = 10;
// A started program that has shown no splash window by then never will.
constexpr gint64 kWatchLimitUs = 120 * G_USEC_PER_SEC;

// Counts a worker thread from its creation to the end of its body.
class RunningThread {
 public:
  RunningThread() = default;
  ~RunningThread() { --launchState.runningThreads; }
  RunningThread(const RunningThread &) = delete;
  RunningThread &operator=(const RunningThread &) = delete;
};

// A thread nobody joins. `parameters` goes to the thread, or is released when
// the thread cannot be created.
bool createLaunchThread(const char *name, GThreadFunc body, ViewerParameters *parameters) {
  ++launchState.runningThreads;
  GError *rawError = nullptr;
  GThread *thread = g_thread_try_new(name, body, parameters, &rawError);
  if (thread == nullptr) {
    --launchState.runningThreads;
    UniqueError error(rawError);
    g_printerr("Failed to create %s thread: %s\n", name, error ? error->message : "");
    delete parameters;
    return false;
  }
  g_thread_unref(thread);
  return true;
}

}  // namespace

int launchThreadsRunning() { return launchState.runningThreads; }

// ---- Diagnostic tile (main thread, toolkit lock held) ----

gboolean onDiagnosticTileClicked(GtkWidget *eventBox, GdkEventButton *, gpointer) {
  if (referenceBrowserBusy || viewerLaunching) return TRUE;

  ViewerParameters viewerParameters = readViewerSettings(viewerSettingsPath(platform::currentDirectory()));
  trace("Parametry uruchamiania przegladarki diagnostycznej:");
  trace(viewerParameters["exe"]);
  trace(viewerParameters["windowClassName"]);

  // Raised here rather than by the start thread, so that a second press the
  // main loop delivers before that thread runs (a double click) is ignored too.
  viewerLaunching = true;
  launchState.launchedProgram = 0;
  bool defaultViewer = viewerParameters["exe"] == kDefaultViewerName;
  bool started = defaultViewer
                     ? createLaunchThread("startDV", startDV, nullptr)
                     : createLaunchThread("startSRS", startSRS, new ViewerParameters(viewerParameters));
  // Nothing will be started; the watch ends after its first wait.
  if (!started) viewerLaunching = false;

  GtkWidget *window = gtk_widget_get_toplevel(eventBox);
  gtk_widget_hide(window);
  gtk_widget_show(window);

  // The default viewer's splash title is fixed, whatever the settings say.
  createLaunchThread("checkDVStarting", checkDVStarting,
                     defaultViewer ? nullptr : new ViewerParameters(viewerParameters));
  return TRUE;
}

// ---- Worker threads ----

// Start thread of the default viewer. viewerLaunching was raised by the press.
gpointer startDV(gpointer) {
  RunningThread running;
  startDefaultViewer();
  return nullptr;
}

// Start thread of a configured program. viewerLaunching was raised by the press.
gpointer startSRS(gpointer data) {
  RunningThread running;
  std::unique_ptr<ViewerParameters> parameters(static_cast<ViewerParameters *>(data));
  startLaunchSpinner();
  std::string program = configuredProgramPath(platform::currentDirectory(), (*parameters)["exe"]);
  // A path in the settings or a link on the disc that leads off the medium
  // would start a program of the computer's, or of another disc's: it counts
  // as a program that cannot be started.
  platform::ProcessHandle started = 0;
  bool accepted = !programLeavesMedium(program, resolvedMediumRoot()) &&
                  platform::shellOpen(platform::foregroundWindow(), program, "", "", &started);
  launchState.launchedProgram = started != 0 ? started : kStartedUnwatched;
  if (!accepted) reportProgramNotStarted(program);
  return nullptr;
}

// Watch thread: polls for the splash window until it is found, the launch
// ends otherwise (refused installer, failed start), the started program has
// ended without showing it, 120 s after the start, or the program is ending
// (main window closed, quit requested). Whatever ends the watch leaves the
// tile ready for the next launch.
gpointer checkDVStarting(gpointer data) {
  RunningThread running;
  std::unique_ptr<ViewerParameters> parameters(static_cast<ViewerParameters *>(data));
  std::string title = parameters ? (*parameters)["windowClassName"] : kDefaultSplashTitle;

  platform::sleepMilliseconds(kFirstWatchDelayMs);
  if (!viewerLaunching) return nullptr;
  platform::ProcessHandle program = 0;
  gint64 deadline = 0;
  for (;;) {
    platform::sleepMilliseconds(kWatchIntervalMs);
    if (platform::findTopLevelWindow(title) != 0) {
      finishLaunch();
      break;
    }
    // The clock starts once the program has been started (the runtime
    // questions before it take the user's time).
    platform::ProcessHandle started = launchState.launchedProgram;
    if (deadline == 0 && started != 0) {
      program = started > 0 ? started : 0;
      deadline = g_get_monotonic_time() + kWatchLimitUs;
    }
    if ((program != 0 && platform::processHasEnded(program)) ||
        (deadline != 0 && g_get_monotonic_time() > deadline)) {
      finishLaunch();
      break;
    }
    if (!redrawLaunchSpinner() || !viewerLaunching || quitRequested()) break;
  }
  platform::releaseProcess(program);
  return nullptr;
}
