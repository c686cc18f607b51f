// The temporary folders, the private working directory, its run marker and
// the requests to end from outside, on a POSIX desktop.
#include "platform/platform.h"

#include <glib.h>

#include <boost/filesystem/operations.hpp>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <initializer_list>

namespace platform {

namespace {

// Every run holds a lock on this file in its directory for as long as it
// runs. A directory with the marker and a free lock was left by a run that
// ended without cleaning up (killed, crashed, out of memory).
constexpr char kRunMarker[] = ".velmora-run";
// This run: its marker file's descriptor, and what the end signals call;
// process-wide, as a signal handler gets no data.
struct ThisRun {
  int runMarker = -1;
  void (*volatile endRequested)(bool) = nullptr;
};
ThisRun thisRun;

void onEndSignal(int) {
  void (*end)(bool) = thisRun.endRequested;
  if (end != nullptr) end(false);
}

}  // namespace

std::string temporaryFolder() { return g_get_tmp_dir(); }

std::string privateRuntimeFolder() {
  const char *runtime = g_getenv("XDG_RUNTIME_DIR");
  struct stat info;
  if (runtime == nullptr || runtime[0] != '/' || ::stat(runtime, &info) != 0 || !S_ISDIR(info.st_mode) ||
      info.st_uid != ::getuid() || (info.st_mode & 077) != 0)
    return std::string();
  return runtime;
}

DirectoryCreation createPrivateDirectory(const std::string &path) {
  if (::mkdir(path.c_str(), 0700) != 0)
    return errno == EEXIST ? DirectoryCreation::Exists : DirectoryCreation::Failed;
  // The creation mask may have taken bits away, never added any.
  ::chmod(path.c_str(), 0700);
  return DirectoryCreation::Created;
}

bool holdRunMarker(const std::string &directory) {
  // Made under another name, locked, then renamed, so that no other start-up
  // ever sees the marker unlocked while this run lives.
  const std::string fresh = directory + "/" + kRunMarker + ".new";
  int marker = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (marker < 0) return false;
  releaseRunMarker();
  if (::flock(marker, LOCK_EX | LOCK_NB) != 0 ||
      ::rename(fresh.c_str(), (directory + "/" + kRunMarker).c_str()) != 0) {
    ::close(marker);
    ::unlink(fresh.c_str());
    return false;
  }
  thisRun.runMarker = marker;
  return true;
}

void releaseRunMarker() {
  if (thisRun.runMarker >= 0) ::close(thisRun.runMarker);
  thisRun.runMarker = -1;
}

bool removeDirectoryTree(const std::string &directory) {
  // The folder's own write bit decides here; a file's mode does not.
  boost::system::error_code error;
  boost::filesystem::remove_all(boost::filesystem::path(directory), error);
  return !error;
}

bool abandonedRunDirectory(const std::string &path) {
  int directory = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (directory < 0) return false;
  struct stat info;
  bool ours = ::fstat(directory, &info) == 0 && info.st_uid == ::getuid();
  int marker = ours ? ::openat(directory, kRunMarker, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC) : -1;
  ::close(directory);
  if (marker < 0) return false;
  bool abandoned = ::fstat(marker, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid() &&
                   ::flock(marker, LOCK_EX | LOCK_NB) == 0;
  // Closing lets go of the lock; the caller removes the directory at once.
  ::close(marker);
  return abandoned;
}

void onEndRequest(void (*end)(bool immediately)) {
  thisRun.endRequested = end;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = onEndSignal;
  sigemptyset(&action.sa_mask);
  // Restarted calls: the work in progress notices the request by itself.
  action.sa_flags = SA_RESTART;
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signalNumber, &action, nullptr);
}

}  // namespace platform
