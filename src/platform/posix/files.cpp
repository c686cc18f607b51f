// File services: copying into the working directory without overwriting,
// clearing the read-only state, the current directory and sleeping.
#include "platform/platform.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include <zlib.h>

#include <climits>
#include <cstring>
#include <vector>

namespace platform {

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor &) = delete;
  FileDescriptor &operator=(const FileDescriptor &) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

bool writeAll(int fd, const char *data, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// Opens `path` for reading without waiting: opening a pipe with no writer
// would otherwise block. The flag is harmless for the regular files that are
// read afterwards.
int openWithoutWaiting(const std::string &path) {
  return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

}  // namespace

bool copyFileNoOverwrite(const std::string &source, const std::string &target,
                         const std::function<bool(std::uint64_t copied)> &proceed, std::string *error) {
  auto fail = [&](const std::string &why) {
    if (error != nullptr) *error = why;
    return false;
  };
  FileDescriptor in(openWithoutWaiting(source));
  if (in.get() < 0) return fail(g_strerror(errno));
  struct stat before, after;
  if (::fstat(in.get(), &before) != 0) return fail(g_strerror(errno));
  if (!S_ISREG(before.st_mode)) return fail("to nie jest zwykły plik");
  struct stat existing;
  if (::lstat(target.c_str(), &existing) == 0) return fail(g_strerror(EEXIST));

  // Written under a name of its own that only the owner may read, and given
  // the target's name only when whole and checked: an interrupted run never
  // leaves a file that looks complete.
  std::string partial = target + ".partial-XXXXXX";
  FileDescriptor out(g_mkstemp_full(&partial[0], O_WRONLY | O_CLOEXEC, 0600));
  if (out.get() < 0) return fail(g_strerror(errno));
  auto discard = [&](const std::string &why) {
    if (out.get() >= 0) ::close(out.release());
    ::unlink(partial.c_str());
    return fail(why);
  };

  // Every byte is counted and summed on its way; the copy is then read back.
  std::vector<unsigned char> buffer(256 * 1024);
  uLong written = crc32(0, nullptr, 0), readBack = written;
  std::uint64_t copied = 0;
  for (;;) {
    ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return discard(g_strerror(errno));
    if (got == 0) break;
    if (!writeAll(out.get(), reinterpret_cast<const char *>(buffer.data()), static_cast<size_t>(got)))
      return discard(g_strerror(errno));
    written = crc32(written, buffer.data(), static_cast<uInt>(got));
    copied += static_cast<std::uint64_t>(got);
    if (proceed && !proceed(copied)) return discard("kopiowanie przerwano");
  }
  if (::fchmod(out.get(), before.st_mode & 0777) != 0 || ::close(out.release()) != 0)
    return discard(g_strerror(errno));
  if (::fstat(in.get(), &after) != 0) return discard(g_strerror(errno));
  if (copied != static_cast<std::uint64_t>(before.st_size) || after.st_size != before.st_size ||
      after.st_mtime != before.st_mtime)
    return discard("plik zmienił się w trakcie kopiowania");
  FileDescriptor copy(::open(partial.c_str(), O_RDONLY | O_CLOEXEC));
  if (copy.get() < 0) return discard(g_strerror(errno));
  std::uint64_t checked = 0;
  for (;;) {
    ssize_t got = ::read(copy.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return discard(g_strerror(errno));
    if (got == 0) break;
    readBack = crc32(readBack, buffer.data(), static_cast<uInt>(got));
    checked += static_cast<std::uint64_t>(got);
  }
  if (checked != copied || readBack != written) return discard("kopia nie zgadza się z oryginałem");
  // Never over what appeared at the target meanwhile; a file system that
  // cannot rename so is given a hard link and the partial name taken away.
  if (::renameat2(AT_FDCWD, partial.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL || ::link(partial.c_str(), target.c_str()) != 0) return discard(g_strerror(errno));
  ::unlink(partial.c_str());
  return true;
}

bool readRegularFile(const std::string &path, size_t maxBytes, std::string &content, std::string *error) {
  content.clear();
  auto fail = [&](const char *reason) {
    if (error != nullptr) *error = path + ": " + reason;
    content.clear();
    return false;
  };
  FileDescriptor in(openWithoutWaiting(path));
  if (in.get() < 0) return fail(g_strerror(errno));
  struct stat info;
  if (::fstat(in.get(), &info) != 0) return fail(g_strerror(errno));
  if (!S_ISREG(info.st_mode)) return fail("to nie jest zwykły plik");
  if (static_cast<unsigned long long>(info.st_size) > maxBytes) return fail("plik jest zbyt duży");
  content.reserve(static_cast<size_t>(info.st_size));
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      return fail(g_strerror(errno));
    }
    if (got == 0) return true;
    // A file that grows while it is read is held to the same limit.
    if (content.size() + static_cast<size_t>(got) > maxBytes) return fail("plik jest zbyt duży");
    content.append(buffer.data(), static_cast<size_t>(got));
  }
}

bool isProgramFile(const std::string &path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  if (::access(path.c_str(), X_OK) != 0) return false;
  FileDescriptor in(openWithoutWaiting(path));
  if (in.get() < 0) return false;
  char header[4] = {0, 0, 0, 0};
  ssize_t got = ::read(in.get(), header, sizeof header);
  if (got >= 2 && header[0] == '#' && header[1] == '!') return true;
  return got == 4 && std::memcmp(header, "\177ELF", 4) == 0;
}

int clearReadOnly(const std::string &path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return errno;
  if (S_ISLNK(info.st_mode)) return ELOOP;
  if (::chmod(path.c_str(), (info.st_mode & 07777) | S_IWUSR) != 0) return errno;
  return 0;
}

void prepareProcess() {}

std::string quotedArgument(const std::string &argument) {
  gchar *quoted = g_shell_quote(argument.c_str());
  std::string result(quoted);
  g_free(quoted);
  return result;
}

std::vector<std::string> commandLineArguments(int argc, char **argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::string currentDirectory() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) return std::string(buffer.data());
    if (errno != ERANGE || buffer.size() > (1u << 20)) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

void sleepMilliseconds(unsigned milliseconds) { g_usleep(static_cast<gulong>(milliseconds) * 1000); }

}  // namespace platform
