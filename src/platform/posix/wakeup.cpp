// Waking the main loop from any thread or a signal handler: a byte down a
// pipe whose reading end the main loop watches.
#include "platform/platform.h"

#include <glib-unix.h>
#include <glib.h>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

namespace platform {

namespace {

gboolean onReadable(gint fd, GIOCondition, gpointer onWake) {
  char drained[64];
  while (::read(fd, drained, sizeof drained) > 0) {
  }
  reinterpret_cast<void (*)()>(onWake)();
  return G_SOURCE_CONTINUE;
}

}  // namespace

int watchMainLoopWakeups(void (*onWake)()) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  g_unix_fd_add(ends[0], G_IO_IN, onReadable, reinterpret_cast<gpointer>(onWake));
  return ends[1];
}

void wakeMainLoop(int watch) {
  if (watch < 0) return;
  int savedErrno = errno;
  char byte = 1;
  // A full pipe has a wake-up in it already.
  ssize_t ignored = ::write(watch, &byte, 1);
  (void)ignored;
  errno = savedErrno;
}

}  // namespace platform
