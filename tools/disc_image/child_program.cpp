// The child is watched with poll() on its error output, so a signal that
// raises the caller's flag also wakes the wait.
#include "child_program.h"

#include <glib.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace discimage {

namespace {

void ownerOnly(gpointer) { umask(077); }

}  // namespace

ChildEnd runChild(const ChildSettings &settings, std::string *messages) {
  messages->clear();
  std::vector<char *> argv;
  for (const std::string &argument : settings.arguments) argv.push_back(const_cast<char *>(argument.c_str()));
  argv.push_back(nullptr);
  gchar **environment = g_get_environ();
  for (const auto &setting : settings.environment)
    environment = g_environ_setenv(environment, setting.first.c_str(), setting.second.c_str(), TRUE);
  GPid pid = 0;
  gint errors = -1;
  GError *failure = nullptr;
  const bool started = g_spawn_async_with_pipes(
      nullptr, argv.data(), environment,
      static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL),
      settings.privateFiles ? ownerOnly : nullptr, nullptr, &pid, nullptr, nullptr, &errors, &failure);
  g_strfreev(environment);
  if (!started) {
    *messages = failure->message;
    g_error_free(failure);
    return ChildEnd::notStarted;
  }
  bool stopped = false;
  int status = 0;
  for (;;) {
    if (!stopped && settings.cancel != nullptr && *settings.cancel) {
      kill(pid, settings.stopSignal);
      stopped = true;
    }
    const pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended == pid || (ended < 0 && errno != EINTR)) break;
    pollfd watched = {errors, POLLIN, 0};
    if (poll(&watched, errors >= 0 ? 1 : 0, 100) > 0) {
      char buffer[4096];
      const ssize_t got = read(errors, buffer, sizeof buffer);
      if (got > 0 && messages->size() < 65536) messages->append(buffer, static_cast<size_t>(got));
      if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) {
        close(errors);
        errors = -1;
      }
    }
  }
  if (errors >= 0) close(errors);
  g_spawn_close_pid(pid);
  if (stopped) return ChildEnd::cancelled;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ChildEnd::succeeded : ChildEnd::failed;
}

}  // namespace discimage
