// The program's start-up, main loop and shutdown.
#include "app/application.h"

#include "app/main_window.h"
#include "app/termination.h"
#include "base/medium_root.h"
#include "base/quit_request.h"
#include "base/tmp_directory.h"
#include "base/trace.h"
#include "platform/glib_owners.h"
#include "platform/platform.h"
#include "ui/palette.h"
#include "ui/ui_state.h"

#include <gtk/gtk.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// The toolkit's lock is recursive here: handlers drain pending events while
// they hold it, and the event source takes it again on dispatch. A standard
// mutex (not GLib's futex-based one) lets the thread checker see it.
std::recursive_mutex &toolkitLock() {
  static std::recursive_mutex mutex;
  return mutex;
}

// Which thread holds the lock and how often, so that a worker that has to
// stop for good can let go of it (see releaseToolkitLockAndQuit).
struct LockHolder {
  std::atomic<std::thread::id> owner{};
  int depth = 0;  // changed only by the owner, under the lock
};
// Process-wide as the toolkit's lock is: its enter and leave functions get no data.
LockHolder lockHolder;

void lockToolkit() {
  toolkitLock().lock();
  lockHolder.owner = std::this_thread::get_id();
  ++lockHolder.depth;
}

void unlockToolkit() {
  if (--lockHolder.depth == 0) lockHolder.owner = std::thread::id();
  toolkitLock().unlock();
}

// A worker thread whose display connection was lost: it never returns, so it
// lets go of the toolkit's lock and leaves the end of the program to the main
// thread, which removes the working directory on its way out.
void releaseToolkitLockAndQuit() {
  if (lockHolder.owner.load() == std::this_thread::get_id())
    while (lockHolder.depth > 0) unlockToolkit();
  requestQuitAndWake();
}

void setDefaultIcon() {
  GError *rawError = nullptr;
  if (!gtk_window_set_default_icon_from_file(picturePath("/img/icon.ico").c_str(), &rawError)) {
    UniqueError error(rawError);
    g_printerr("%s\n", error ? error->message : "");
  }
}

}  // namespace

void initToolkitThreads() {
  static bool done = false;
  if (done) return;
  done = true;
  gdk_threads_set_lock_functions(G_CALLBACK(lockToolkit), G_CALLBACK(unlockToolkit));
  gdk_threads_init();
}

int runApplication(int argc, char **argv) {
  // Before anything of the run exists: a signal at any later point ends the
  // run through its normal shutdown.
  installTerminationHandlers();
  platform::prepareProcess();
  const std::vector<std::string> arguments = platform::commandLineArguments(argc, argv);
  currentPath = mediumRootFromArguments(arguments, platform::currentDirectory());

  trace("currentPATH = " + currentPath);
  for (const std::string &argument : arguments) trace(argument);
  trace("-----------------");

  viewerLaunching = false;
  gtk_set_locale();
  createTmpDirectory();
  if (quitRequested()) {
    removeTmpDirectory();
    return 0;
  }
  parsePalette();

  initToolkitThreads();
  if (!gtk_init_check(&argc, &argv)) {
    g_printerr("Nie można otworzyć ekranu (DISPLAY).\n");
    removeTmpDirectory();
    return 1;
  }
  platform::handleDisplayLossOffMainThread(releaseToolkitLockAndQuit);
  trace("tmpDirectory = " + tmpDirectory);

  setDefaultIcon();
  buildMainWindow();

  gdk_threads_enter();
  endMainLoopOnQuitRequest();
  if (!quitRequested()) gtk_main();
  gdk_threads_leave();

  removeTmpDirectory();
  return 0;
}
