// Requests to end from outside hand the end of the program to the main thread.
#include "app/termination.h"

#include "base/quit_request.h"
#include "base/tmp_directory.h"
#include "platform/platform.h"

#include <gtk/gtk.h>

#include <atomic>

namespace {

std::atomic<int> wakeup{-1};

void onEnd(bool immediately) {
  if (!immediately) {
    requestQuitAndWake();
    return;
  }
  // The system ends the process when this returns: nothing is left behind.
  requestQuit();
  removeTmpDirectory();
}

void onWake() {
  if (quitRequested()) {
    gdk_threads_enter();
    if (gtk_main_level() > 0) gtk_main_quit();
    gdk_threads_leave();
  }
}

}  // namespace

void requestQuitAndWake() {
  requestQuit();
  platform::wakeMainLoop(wakeup.load());
}

void installTerminationHandlers() {
  platform::onEndRequest(onEnd);
  platform::abandonWaitsWhen(quitRequested);
}

void endMainLoopOnQuitRequest() {
  if (wakeup.load() < 0) wakeup = platform::watchMainLoopWakeups(onWake);
  if (quitRequested()) requestQuitAndWake();
}
