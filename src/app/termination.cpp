// Requests to end from outside hand the end of the program to the main thread.
#include "app/termination.h"

#include "base/quit_request.h"
#include "base/tmp_directory.h"
#include "platform/platform.h"

#include <gtk/gtk.h>

#include <atomic>

namespace {

// Process-wide: the end signals' handler reaches it without data.
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

// Input queued before a request to end is dropped, whichever window it is
// for: held keys or a burst of clicks must not keep the program from ending.
void dropInputOnceQuitting(GdkEvent *event, gpointer) {
  if (quitRequested()) {
    switch (event->type) {
      case GDK_KEY_PRESS:
      case GDK_KEY_RELEASE:
      case GDK_BUTTON_PRESS:
      case GDK_2BUTTON_PRESS:
      case GDK_3BUTTON_PRESS:
      case GDK_BUTTON_RELEASE:
      case GDK_SCROLL:
      case GDK_MOTION_NOTIFY:
        return;
      default:
        break;
    }
  }
  gtk_main_do_event(event);
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
  gdk_event_handler_set(dropInputOnceQuitting, nullptr, nullptr);
  if (wakeup.load() < 0) wakeup = platform::watchMainLoopWakeups(onWake);
  if (quitRequested()) requestQuitAndWake();
}
