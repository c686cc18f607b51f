// Signal handlers that hand the end of the program to the main thread.
#include "app/termination.h"

#include "base/quit_request.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <initializer_list>

namespace {

// A byte in this pipe wakes the main loop; the handler may write it, the
// toolkit may not be called from there.
int wakePipe[2] = {-1, -1};

void onTerminationSignal(int) { requestQuitAndWake(); }

gboolean onWake(gint fd, GIOCondition, gpointer) {
  char drained[64];
  while (::read(fd, drained, sizeof drained) > 0) {
  }
  if (quitRequested()) {
    gdk_threads_enter();
    if (gtk_main_level() > 0) gtk_main_quit();
    gdk_threads_leave();
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace

void requestQuitAndWake() {
  int savedErrno = errno;
  requestQuit();
  if (wakePipe[1] >= 0) {
    char byte = 'q';
    ssize_t ignored = ::write(wakePipe[1], &byte, 1);
    (void)ignored;
  }
  errno = savedErrno;
}

void installTerminationHandlers() {
  if (wakePipe[0] < 0 && ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) wakePipe[0] = wakePipe[1] = -1;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = onTerminationSignal;
  sigemptyset(&action.sa_mask);
  // Restarted calls: the work in progress notices the request by itself.
  action.sa_flags = SA_RESTART;
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signalNumber, &action, nullptr);
}

void endMainLoopOnQuitRequest() {
  static bool watching = false;
  if (!watching && wakePipe[0] >= 0) {
    watching = true;
    g_unix_fd_add(wakePipe[0], G_IO_IN, onWake, nullptr);
  }
  if (quitRequested()) requestQuitAndWake();
}
