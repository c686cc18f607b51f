// Shell "open": programs are started directly, documents and web addresses go
// to the desktop's default application. Called on the main thread and on
// worker threads; nothing here touches widgets.
#include "platform/platform.h"

#include "platform/glib_owners.h"
#include "platform/posix/document_portal.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <glib.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

namespace {

bool hasWebScheme(const std::string &file) {
  return g_ascii_strncasecmp(file.c_str(), "http://", 7) == 0 ||
         g_ascii_strncasecmp(file.c_str(), "https://", 8) == 0;
}

std::string joinPath(const std::string &directory, const std::string &relative) {
  UniqueString joined(g_build_filename(directory.c_str(), relative.c_str(), nullptr));
  return std::string(joined.get());
}

// A relative path is taken from the working directory (the current one when
// empty). The result is absolute, so the child's change of directory cannot
// apply the working directory a second time.
std::string resolvePath(const std::string &file, const std::string &workingDirectory) {
  std::string path = file;
  if (!g_path_is_absolute(path.c_str()) && !workingDirectory.empty()) path = joinPath(workingDirectory, path);
  if (!g_path_is_absolute(path.c_str())) path = joinPath(currentDirectory(), path);
  return path;
}

// The program's argument vector: its own path, then the parameters split like
// a shell command line (quotes and backslashes, no expansion). False when the
// parameters cannot be split (an unbalanced quote).
bool buildArguments(const std::string &program, const std::string &parameters,
                    std::vector<std::string> &arguments) {
  arguments.assign(1, program);
  if (parameters.find_first_not_of(" \t\r\n") == std::string::npos) return true;
  gint count = 0;
  gchar **parsed = nullptr;
  GError *rawError = nullptr;
  if (!g_shell_parse_argv(parameters.c_str(), &count, &parsed, &rawError)) {
    UniqueError error(rawError);
    return false;
  }
  UniqueStrv owned(parsed);
  for (gint i = 0; i < count; ++i) arguments.emplace_back(parsed[i]);
  return true;
}

void writeErrorAndExit(int pipeFd, int error) {
  ssize_t ignored = ::write(pipeFd, &error, sizeof error);
  (void)ignored;
  ::_exit(127);
}

// Runs in the forked child, so only async-signal-safe calls: the start
// error, if any, is sent back through the pipe (closed on a successful exec).
void execInChild(const char *program, char *const *argv, const char *directory, int errorPipe) {
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction defaultAction;
  std::memset(&defaultAction, 0, sizeof defaultAction);
  defaultAction.sa_handler = SIG_DFL;
  ::sigaction(SIGPIPE, &defaultAction, nullptr);
  // Our own descriptors (the display connection among them) stay with us.
  ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
  if (directory != nullptr && ::chdir(directory) != 0) writeErrorAndExit(errorPipe, errno);
  // execv, not execvp: never falls back to /bin/sh for a file it cannot run.
  ::execv(program, argv);
  writeErrorAndExit(errorPipe, errno);
}

// Starts the program; `detached` puts it in a grandchild of its own session,
// reaped by init, so it never lingers as our zombie. Returns the pid of the
// started program (of the intermediate child when detached, already reaped),
// or 0 when the program could not be started.
pid_t startProgram(const std::string &program, const std::vector<std::string> &arguments,
                   const std::string &workingDirectory, bool detached) {
  // Everything the child needs is prepared before fork.
  std::vector<char *> argv;
  for (const std::string &argument : arguments) argv.push_back(const_cast<char *>(argument.c_str()));
  argv.push_back(nullptr);
  const char *directory = workingDirectory.empty() ? nullptr : workingDirectory.c_str();

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return 0;

  pid_t child = ::fork();
  if (child < 0) {
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return 0;
  }
  if (child == 0) {
    ::close(pipeFds[0]);
    // A session of its own either way: the terminal's signals to the
    // navigator's group are not meant for the programs it started.
    ::setsid();
    if (detached) {
      pid_t grandchild = ::fork();
      if (grandchild < 0) writeErrorAndExit(pipeFds[1], errno);
      if (grandchild > 0) ::_exit(0);
    }
    execInChild(program.c_str(), argv.data(), directory, pipeFds[1]);
  }

  ::close(pipeFds[1]);
  int childError = 0;
  ssize_t got;
  do {
    got = ::read(pipeFds[0], &childError, sizeof childError);
  } while (got < 0 && errno == EINTR);
  ::close(pipeFds[0]);

  bool started = got == 0;
  if (detached || !started) {
    int status;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }
  return started ? child : 0;
}

// A disc's autorun.sh points the toolkit at the disc's runtime through the
// variables it lists in VELMORA_RUNTIME_ENV, keeping the values they had in
// VELMORA_HOST_<name>. The desktop's programs get the desktop's values back:
// a browser must not look for its modules on the disc. `restore` gets each
// name with the desktop's value, null where the desktop had none.
void forEachRuntimeVariable(const std::function<void(const char *name, const char *host)> &restore) {
  const char *names = g_getenv("VELMORA_RUNTIME_ENV");
  if (names == nullptr) return;
  UniqueStrv list(g_strsplit_set(names, " \t", -1));
  for (gchar **name = list.get(); *name != nullptr; ++name)
    if (**name != '\0') restore(*name, g_getenv((std::string("VELMORA_HOST_") + *name).c_str()));
}

UniqueObject<GAppLaunchContext> desktopLaunchContext() {
  UniqueObject<GAppLaunchContext> context(g_app_launch_context_new());
  forEachRuntimeVariable([&](const char *name, const char *host) {
    if (host != nullptr)
      g_app_launch_context_setenv(context.get(), name, host);
    else
      g_app_launch_context_unsetenv(context.get(), name);
  });
  return context;
}

// `word` of an application's command line with its field codes replaced: the
// file or address for %f, %F, %u and %U, the name for %c, the entry's own
// file for %k, "%" for %%; other codes are dropped.
std::string expandFieldCodes(const std::string &word, GAppInfo *application, const std::string &target) {
  std::string expanded;
  for (size_t at = 0; at < word.size(); ++at) {
    if (word[at] != '%' || at + 1 == word.size()) {
      expanded += word[at];
      continue;
    }
    char code = word[++at];
    if (code == 'f' || code == 'F' || code == 'u' || code == 'U') {
      expanded += target;
    } else if (code == 'c') {
      expanded += g_app_info_get_name(application);
    } else if (code == 'k' && G_IS_DESKTOP_APP_INFO(application)) {
      const char *entry = g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(application));
      expanded += entry != nullptr ? entry : "";
    } else if (code == '%') {
      expanded += '%';
    }
  }
  return expanded;
}

// GIO's launching asks the session bus first and waits for it without a
// limit. With a bus that does not answer, the application is started here
// from its own command line, detached and with the desktop's environment.
bool launchWithoutBus(GAppInfo *application, const std::string &target) {
  const char *commandLine = g_app_info_get_commandline(application);
  gint count = 0;
  gchar **parsed = nullptr;
  if (commandLine == nullptr || !g_shell_parse_argv(commandLine, &count, &parsed, nullptr)) return false;
  UniqueStrv words(parsed);
  std::vector<std::string> arguments;
  for (gint i = 0; i < count; ++i)
    if (std::strcmp(parsed[i], "%i") != 0)
      arguments.push_back(expandFieldCodes(parsed[i], application, target));
  if (arguments.empty() || arguments[0].empty()) return false;
  std::vector<char *> argv;
  for (std::string &argument : arguments) argv.push_back(&argument[0]);
  argv.push_back(nullptr);
  gchar **environment = g_get_environ();
  forEachRuntimeVariable([&](const char *name, const char *host) {
    environment = host != nullptr ? g_environ_setenv(environment, name, host, TRUE)
                                  : g_environ_unsetenv(environment, name);
  });
  UniqueStrv ownedEnvironment(environment);
  // Without G_SPAWN_DO_NOT_REAP_CHILD the application is started through an
  // intermediate child, so it never lingers as our zombie.
  return g_spawn_async(nullptr, argv.data(), environment, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr,
                       nullptr);
}

// The application the desktop associates with the type that the file's name
// gives, as the Windows shell picks it; null when the name tells no type or
// no application is associated with it.
GAppInfo *applicationForName(const std::string &path) {
  // Without the file's bytes the guess always counts as uncertain; only a
  // name that tells nothing gives the unknown type.
  UniqueString type(g_content_type_guess(path.c_str(), nullptr, 0, nullptr));
  if (!type || g_content_type_is_unknown(type.get())) return nullptr;
  return g_app_info_get_default_for_type(type.get(), FALSE);
}

bool openAddress(const std::string &address) {
  if (sessionBusSilent()) {
    if (waitsAbandoned()) return false;
    UniqueString scheme(g_uri_parse_scheme(address.c_str()));
    UniqueObject<GAppInfo> application(scheme ? g_app_info_get_default_for_uri_scheme(scheme.get())
                                              : nullptr);
    return application && launchWithoutBus(application.get(), address);
  }
  GError *rawError = nullptr;
  if (g_app_info_launch_default_for_uri(address.c_str(), desktopLaunchContext().get(), &rawError))
    return true;
  UniqueError error(rawError);
  return false;
}

bool openDocument(const std::string &path, WindowHandle owner) {
  UniqueObject<GFile> file(g_file_new_for_path(path.c_str()));
  // By the name first: a wrapper page begins with an XHTML document type, and
  // a guess from its content would look for an XHTML application instead of
  // the web browser associated with ".html".
  UniqueObject<GAppInfo> application{applicationForName(path)};
  if (!application) application.reset(g_file_query_default_handler(file.get(), nullptr, nullptr));
  // Nothing associated: the caller warns, as after the Windows shell's refusal.
  if (!application) return false;
  // A browser confined in a snap or a flatpak cannot read our folders by
  // name; the portal hands it the open file.
  switch (openThroughDocumentPortal(path, owner)) {
    case PortalAnswer::opened:
      return true;
    case PortalAnswer::silent:
      // Asked to end while the bus kept us waiting: nothing more is started.
      return !waitsAbandoned() && launchWithoutBus(application.get(), path);
    case PortalAnswer::refused:
      break;
  }
  GList files = {file.get(), nullptr, nullptr};
  GError *rawError = nullptr;
  if (g_app_info_launch(application.get(), &files, desktopLaunchContext().get(), &rawError)) return true;
  UniqueError error(rawError);
  return false;
}

// The shared rule of both shell calls; `process` receives the started
// program's pid, 0 when nothing was started that can be waited for.
bool openFile(WindowHandle owner, const std::string &file, const std::string &parameters,
              const std::string &workingDirectory, bool detached, ProcessHandle &process) {
  process = 0;
  if (file.empty()) return false;
  if (hasWebScheme(file)) return openAddress(file);

  std::string path = resolvePath(file, workingDirectory);
  if (isProgramFile(path)) {
    std::vector<std::string> arguments;
    if (!buildArguments(path, parameters, arguments)) return false;
    pid_t pid = startProgram(path, arguments, workingDirectory, detached);
    if (pid == 0) return false;
    if (!detached) process = pid;
    return true;
  }
  // Only a regular file is handed on: a folder would open a file manager, and
  // a pipe would keep whoever opens it waiting for a writer.
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  return openDocument(path, owner);
}

}  // namespace

bool shellOpen(WindowHandle owner, const std::string &file, const std::string &parameters,
               const std::string &workingDirectory, ProcessHandle *started) {
  ProcessHandle ignored;
  return openFile(owner, file, parameters, workingDirectory, started == nullptr,
                  started ? *started : ignored);
}

bool shellExecute(const std::string &file, const std::string &parameters, const std::string &workingDirectory,
                  ProcessHandle &process) {
  return openFile(0, file, parameters, workingDirectory, false, process);
}

bool processHasEnded(ProcessHandle process) {
  if (process <= 0) return true;
  int status;
  pid_t result;
  while ((result = ::waitpid(static_cast<pid_t>(process), &status, WNOHANG)) < 0 && errno == EINTR) {
  }
  return result != 0;
}

void releaseProcess(ProcessHandle process) {
  if (process <= 0 || processHasEnded(process)) return;
  // The main loop reaps it when it ends, so it never lingers as a zombie.
  g_child_watch_add(
      static_cast<GPid>(process), [](GPid, gint, gpointer) {}, nullptr);
}

void waitForProcess(ProcessHandle process) {
  if (process <= 0) return;
  int status;
  while (::waitpid(static_cast<pid_t>(process), &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace platform
