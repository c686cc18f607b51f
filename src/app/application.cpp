// The program's start-up, main loop and shutdown.
#include "app/application.h"

#include "app/main_window.h"
#include "base/medium_root.h"
#include "base/tmp_directory.h"
#include "base/trace.h"
#include "platform/platform.h"
#include "ui/palette.h"
#include "ui/ui_state.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

// The toolkit's lock is recursive here: handlers drain pending events while
// they hold it, and the event source takes it again on dispatch. A standard
// mutex (not GLib's futex-based one) lets the thread checker see it.
std::recursive_mutex &toolkitLock() {
  static std::recursive_mutex mutex;
  return mutex;
}

void lockToolkit() { toolkitLock().lock(); }
void unlockToolkit() { toolkitLock().unlock(); }

// SIGINT, SIGTERM and SIGHUP end the main loop, so that the normal shutdown
// removes the working directory; before the loop runs they remove it at once.
gboolean onTerminationSignal(gpointer) {
  if (gtk_main_level() > 0)
    gtk_main_quit();
  else {
    removeTmpDirectory();
    std::_Exit(0);
  }
  return G_SOURCE_CONTINUE;
}

void removeTmpDirectoryOnSignals() {
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
    g_unix_signal_add(signalNumber, onTerminationSignal, nullptr);
}

void setDefaultIcon() {
  GError *rawError = nullptr;
  if (!gtk_window_set_default_icon_from_file(tmpPath("/img/icon.ico").c_str(), &rawError)) {
    std::unique_ptr<GError, decltype(&g_error_free)> error(rawError, g_error_free);
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
  std::vector<std::string> arguments(argv, argv + argc);
  currentPath = mediumRootFromArguments(arguments, platform::currentDirectory());

  trace("currentPATH = " + currentPath);
  for (const std::string &argument : arguments) trace(argument);
  trace("-----------------");

  viewerLaunching = false;
  gtk_set_locale();
  createTmpDirectory();
  removeTmpDirectoryOnSignals();
  parsePalette();

  initToolkitThreads();
  if (!gtk_init_check(&argc, &argv)) {
    g_printerr("Nie można otworzyć ekranu (DISPLAY).\n");
    removeTmpDirectory();
    return 1;
  }
  trace("tmpDirectory = " + tmpDirectory);

  setDefaultIcon();
  buildMainWindow();

  gdk_threads_enter();
  gtk_main();
  gdk_threads_leave();

  removeTmpDirectory();
  return 0;
}
