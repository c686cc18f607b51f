// The program ended from outside: killed outright, terminated during its
// start-up copies and during a browser build. No working directory outlives
// its run, and a signal is honoured at once wherever the program is.
#include "app/application.h"
#include "base/tmp_directory.h"
#include "browser/browser_state.h"
#include "browser/image_view.h"
#include "browser/thumbnail_index.h"
#include "ui/ui_state.h"

#include "support/child_run.h"
#include "support/dicom_fixture.h"
#include "support/gui.h"
#include "support/scoped_medium.h"
#include "support/scratch_folder.h"

#include <gdk/gdkkeysyms.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace testsupport;
namespace fs = boost::filesystem;

// The program started on a medium with its own temporary and runtime folders,
// its trace read as it comes.
class ProgramRun {
 public:
  ProgramRun(const std::string &medium, const std::string &scratch, const std::string &display = "") {
    gchar **environment = g_get_environ();
    if (!display.empty()) environment = g_environ_setenv(environment, "DISPLAY", display.c_str(), TRUE);
    environment = g_environ_setenv(environment, "TMPDIR", (scratch + "/tmp").c_str(), TRUE);
    environment = g_environ_setenv(environment, "XDG_RUNTIME_DIR", (scratch + "/run").c_str(), TRUE);
    std::string program = VELMORA_PROGRAM;
    std::string root = medium;
    gchar *argv[] = {&program[0], &root[0], nullptr};
    g_spawn_async_with_pipes(medium.c_str(), argv, environment, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr,
                             &pid_, nullptr, &output_, nullptr, nullptr);
    g_strfreev(environment);
  }
  ~ProgramRun() {
    if (pid_ > 0 && end(SIGKILL, 10000) == kStillRunning) ADD_FAILURE() << "the program did not die";
    if (output_ >= 0) close(output_);
  }

  // Whether a trace line beginning with `prefix` comes within the deadline;
  // the rest of that line goes to `rest`.
  bool traced(const std::string &prefix, std::string *rest = nullptr, int milliseconds = 20000) {
    gint64 deadline = g_get_monotonic_time() + milliseconds * 1000;
    for (;;) {
      for (size_t start = 0, end; (end = trace_.find('\n', start)) != std::string::npos; start = end + 1)
        if (trace_.compare(start, prefix.size(), prefix) == 0) {
          if (rest != nullptr) *rest = trace_.substr(start + prefix.size(), end - start - prefix.size());
          return true;
        }
      int left = static_cast<int>((deadline - g_get_monotonic_time()) / 1000);
      struct pollfd ready = {output_, POLLIN, 0};
      char buffer[4096];
      ssize_t got = 0;
      if (left <= 0 || poll(&ready, 1, left) <= 0 || (got = read(output_, buffer, sizeof buffer)) <= 0)
        return false;
      trace_.append(buffer, static_cast<size_t>(got));
    }
  }
  std::string workingDirectory() {
    std::string directory;
    traced("tmpDirectory = ", &directory);
    return directory;
  }
  const std::string &trace() const { return trace_; }

  static constexpr int kStillRunning = -1000;
  // Sends `signal` and waits up to the deadline for the end: the exit code, or
  // minus the number of the signal that ended it.
  int end(int signal, int milliseconds) {
    kill(pid_, signal);
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    struct pollfd ended = {pidfd, POLLIN, 0};
    bool done = pidfd >= 0 && poll(&ended, 1, milliseconds) == 1;
    if (pidfd >= 0) close(pidfd);
    if (!done) return kStillRunning;
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }

 private:
  GPid pid_ = 0;
  int output_ = -1;
  std::string trace_;
};

// A scratch folder holding the temporary and the (private) runtime folder.
struct Folders {
  Folders() {
    mkdir(scratch.path("tmp").c_str(), 0700);
    mkdir(scratch.path("run").c_str(), 0700);
  }
  std::vector<std::string> workingDirectories() const {
    std::vector<std::string> found;
    for (const char *base : {"tmp", "run"})
      for (const fs::directory_entry &entry : fs::directory_iterator(scratch.path(base)))
        if (entry.path().filename().string().rfind("VELMORAtmp", 0) == 0)
          found.push_back(entry.path().string());
    return found;
  }
  ScratchFolder scratch;
};

// Generous: the program's own reaction is immediate, but the machine may be busy.
constexpr int kPromptEndMs = 3000;

TEST(EndingRuns, AKilledRunsDirectoryIsRemovedByTheNextStartAndNothingElseIs) {
  ScopedMedium medium;
  medium.writeFile("img/icon.ico", "x");
  Folders folders;
  const std::string unmarked = folders.scratch.path("run/VELMORAtmp1");
  mkdir(unmarked.c_str(), 0700);

  ProgramRun live(medium.root(), folders.scratch.root());
  ProgramRun killed(medium.root(), folders.scratch.root());
  std::string liveDir = live.workingDirectory();
  std::string killedDir = killed.workingDirectory();
  EXPECT_EQ(liveDir.rfind(folders.scratch.path("run/VELMORAtmp"), 0), 0u) << liveDir;
  EXPECT_EQ(killed.end(SIGKILL, kPromptEndMs), -SIGKILL);
  EXPECT_TRUE(fs::is_directory(killedDir));

  ProgramRun next(medium.root(), folders.scratch.root());
  std::string nextDir = next.workingDirectory();
  ASSERT_FALSE(nextDir.empty()) << next.trace();
  EXPECT_FALSE(fs::exists(killedDir));
  EXPECT_TRUE(fs::is_directory(liveDir));
  EXPECT_TRUE(fs::is_directory(unmarked));

  EXPECT_EQ(live.end(SIGTERM, kPromptEndMs), 0);
  EXPECT_EQ(next.end(SIGHUP, kPromptEndMs), 0);
  EXPECT_EQ(folders.workingDirectories(), std::vector<std::string>{unmarked});
}

TEST(EndingRuns, StartUpCopiesAreBoundedAndASignalDuringThemEndsTheRunAtOnce) {
  ScopedMedium medium;
  medium.writeFile("img/icon.ico", "x");
  // Sparse: the disc's sizes without the test writing gigabytes.
  auto sparse = [&](const std::string &name, off_t size) {
    medium.writeFile(name, "");
    ASSERT_EQ(truncate(medium.path(name).c_str(), size), 0);
  };
  sparse("images/huge.bin", off_t{2} << 30);
  for (char c = '1'; c <= '9'; ++c) sparse(std::string("images/part") + c, off_t{60} << 20);
  Folders folders;

  {
    ProgramRun whole(medium.root(), folders.scratch.root());
    std::string dir = whole.workingDirectory();
    ASSERT_FALSE(dir.empty()) << whole.trace();
    // Over 64 MiB; and past 512 MiB in all (or the time allowed, on a slow machine).
    EXPECT_FALSE(fs::exists(dir + "/images/huge.bin"));
    EXPECT_FALSE(fs::exists(dir + "/images/part9"));
    EXPECT_NE(whole.trace().find("images/huge.bin"), std::string::npos) << whole.trace();
    EXPECT_EQ(whole.end(SIGTERM, kPromptEndMs), 0);
  }
  ProgramRun interrupted(medium.root(), folders.scratch.root());
  ASSERT_TRUE(interrupted.traced("sourceDir: images")) << interrupted.trace();
  EXPECT_EQ(interrupted.end(SIGTERM, kPromptEndMs), 0);
  EXPECT_EQ(interrupted.trace().find("tmpDirectory = "), std::string::npos) << "ended after the copies";
  EXPECT_TRUE(folders.workingDirectories().empty());
}

// Runs a tool on `display`; whether it succeeded.
bool runTool(const std::string &display, std::vector<std::string> arguments, std::string *output = nullptr) {
  std::vector<gchar *> argv;
  for (std::string &argument : arguments) argv.push_back(&argument[0]);
  argv.push_back(nullptr);
  gchar **environment = g_environ_setenv(g_get_environ(), "DISPLAY", display.c_str(), TRUE);
  gchar *out = nullptr;
  gint status = 0;
  bool ran = g_spawn_sync(nullptr, argv.data(), environment,
                          GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDERR_TO_DEV_NULL), nullptr, nullptr,
                          &out, nullptr, &status, nullptr);
  g_strfreev(environment);
  if (output != nullptr && out != nullptr) *output = out;
  g_free(out);
  return ran && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A display server of the test's own, which the test can take away.
class PrivateDisplay {
 public:
  PrivateDisplay() {
    int number = 200 + static_cast<int>(getpid() % 500);
    while (g_file_test(("/tmp/.X11-unix/X" + std::to_string(number)).c_str(), G_FILE_TEST_EXISTS) ||
           g_file_test(("/tmp/.X" + std::to_string(number) + "-lock").c_str(), G_FILE_TEST_EXISTS))
      ++number;
    std::string name = ":" + std::to_string(number);
    gchar *argv[] = {const_cast<gchar *>("Xvfb"), &name[0], const_cast<gchar *>("-nolisten"),
                     const_cast<gchar *>("tcp"), nullptr};
    GSpawnFlags flags = GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                    G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL);
    if (!g_spawn_async(nullptr, argv, nullptr, flags, nullptr, nullptr, &pid_, nullptr)) return;
    // Ready once a client can connect.
    gint64 deadline = g_get_monotonic_time() + 20 * G_USEC_PER_SEC;
    while (g_get_monotonic_time() < deadline)
      if (runTool(name, {"xdpyinfo"})) {
        name_ = name;
        break;
      }
  }
  ~PrivateDisplay() { takeAway(); }
  const std::string &name() const { return name_; }
  // Ends the server; its clients lose their connections.
  void takeAway() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }

 private:
  GPid pid_ = 0;
  std::string name_;
};

TEST(EndingRuns, TheDisplayLostWhileTheViewerWatchPollsEndsTheRunWithNothingLeft) {
  ScopedMedium medium;
  medium.writePicture("img/obr_diag_n.jpg", 180, 150);
  medium.writeFile("gtk/bin/viewer.ini", "viewer=Program/waits.sh\nwindowClassName=Nigdy\n");
  medium.writeFile("Program/waits.sh",
                   "#!/bin/sh\necho $$ > '" + medium.path("started") + "'\nexec sleep 5\n");
  ASSERT_EQ(chmod(medium.path("Program/waits.sh").c_str(), 0755), 0);
  Folders folders;
  // The main thread or the watch thread may meet the loss first: both ways.
  for (int attempt = 0; attempt < 4; ++attempt) {
    SCOPED_TRACE(attempt);
    unlink(medium.path("started").c_str());
    PrivateDisplay display;
    ASSERT_FALSE(display.name().empty());
    ProgramRun run(medium.root(), folders.scratch.root(), display.name());
    ASSERT_TRUE(run.traced("tmpDirectory = ")) << run.trace();
    std::string window;
    ASSERT_TRUE(runTool(display.name(),
                        {"xdotool", "search", "--sync", "--onlyvisible", "--name", "^Velmora-Brelantor$"},
                        &window));
    window = window.substr(0, window.find('\n'));
    // The diagnostic tile is the only one here, at the window's top left;
    // pressed until the window takes the press (it may not be mapped yet).
    bool pressed = false;
    for (int tries = 0; tries < 20 && !pressed; ++tries) {
      runTool(display.name(), {"xdotool", "mousemove", "--window", window, "90", "75", "click", "1"});
      pressed = run.traced("Parametry uruchamiania przegladarki diagnostycznej:", nullptr, 500);
    }
    ASSERT_TRUE(pressed) << run.trace();
    gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
    while (!g_file_test(medium.path("started").c_str(), G_FILE_TEST_EXISTS) &&
           g_get_monotonic_time() < deadline)
      run.traced("\x01", nullptr, 10);  // reads on; no such line
    display.takeAway();
    EXPECT_NE(run.end(0, kPromptEndMs), ProgramRun::kStillRunning);
    EXPECT_TRUE(folders.workingDirectories().empty());
  }
}

// ---- A build ended by SIGTERM, run whole in a child process ----

constexpr int kPictures = 300;
constexpr int kEntriesBeforeSignal = 20;
gint64 signalledAt = 0;
int loadedWhenSignalled = 0;

gboolean pressReferenceTile(gpointer) {
  if (mainWindow == nullptr) return G_SOURCE_CONTINUE;
  GtkWidget *tile = findWidget(mainWindow, "ObrazRef");
  if (tile != nullptr) sendButtonEvent(gtk_widget_get_parent(tile));
  return G_SOURCE_REMOVE;
}

gboolean terminateMidBuild(gpointer) {
  if (loadedImageCount < kEntriesBeforeSignal) return G_SOURCE_CONTINUE;
  signalledAt = g_get_monotonic_time();
  loadedWhenSignalled = loadedImageCount;
  raise(SIGTERM);
  return G_SOURCE_REMOVE;
}

TEST(EndingRuns, ASignalDuringABrowserBuildEndsTheRunAtOnce) {
  if (childRunRole() != "build") {
    ScopedMedium medium;
    for (int i = 0; i < kPictures; ++i)
      medium.writePicture("REFIMG/ST1/SE1/IM" + std::to_string(1000 + i) + ".png", 64, 64);
    ASSERT_TRUE(writeDicomFile(medium.path("DICOM/ST1/SE1/IM1"), {{DCM_Modality, "CT"}}));
    ChildResult child = runTestInChild("EndingRuns.ASignalDuringABrowserBuildEndsTheRunAtOnce", "build",
                                       {{"VELMORA_TEST_MEDIUM", medium.root()}});
    EXPECT_EQ(child.exitStatus, 0) << child.output;
    return;
  }
  // The child: the whole program on that medium, its tile pressed by a real
  // event and the signal sent once the build is under way.
  std::string root = g_getenv("VELMORA_TEST_MEDIUM");
  ASSERT_EQ(chdir(root.c_str()), 0);
  g_timeout_add(5, pressReferenceTile, nullptr);
  g_timeout_add(1, terminateMidBuild, nullptr);
  std::string program = VELMORA_PROGRAM;
  char *argv[] = {&program[0], &root[0], nullptr};
  gdk_threads_leave();
  int code = runApplication(2, argv);
  gdk_threads_enter();

  EXPECT_EQ(code, 0);
  ASSERT_GT(signalledAt, 0);
  EXPECT_LT(g_get_monotonic_time() - signalledAt, kPromptEndMs * 1000);
  EXPECT_LE(loadedImageCount, loadedWhenSignalled + 1);  // not one picture more after the signal
  EXPECT_EQ(browser.browserWindow, nullptr);
  EXPECT_FALSE(tmpDirectoryUsable());
  EXPECT_FALSE(fs::exists(tmpDirectory));
}

// ---- Held keys on large pictures, run whole in a child process ----

constexpr int kLargePictures = 24;
constexpr int kPresses = 2000;
struct HeldKeys {
  int drawn = 0, standIns = 0;
  gint64 pressedAt = 0, settledAt = 0, signalledAt = 0;
  int imageWhenSignalled = -1;
} held;

// A held key's presses as they queue up before the program takes them.
void queueRightPresses() {
  for (int press = 0; press < kPresses; ++press)
    for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
      GdkEvent *event = gdk_event_new(type);
      event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(browser.browserWindow)));
      event->key.send_event = TRUE;
      event->key.keyval = GDK_Right;
      gdk_event_put(event);
      gdk_event_free(event);
    }
}

gboolean holdRightKey(gpointer) {
  if (browser.browserWindow == nullptr || !gtk_widget_get_mapped(browser.browserWindow))
    return G_SOURCE_CONTINUE;
  if (held.pressedAt == 0) {
    setPictureShownObserver(
        [] { held.standIns += gdk_pixbuf_get_width(viewedPixels()) < 2048, ++held.drawn; });
    held.pressedAt = g_get_monotonic_time();
    queueRightPresses();
  }
  // Until the last position shows its full picture, decoded on the workers.
  if (browser.currentImage != (kPresses - 1) % kLargePictures || viewedPixels() == nullptr ||
      gdk_pixbuf_get_width(viewedPixels()) < 2048)
    return G_SOURCE_CONTINUE;
  held.settledAt = g_get_monotonic_time();
  queueRightPresses();
  held.imageWhenSignalled = browser.currentImage;
  held.signalledAt = g_get_monotonic_time();
  raise(SIGTERM);
  return G_SOURCE_REMOVE;
}

TEST(EndingRuns, HeldKeysOnLargePicturesStopWithTheKeysAndASignalDuringThemEndsTheRunAtOnce) {
  if (childRunRole() != "keys") {
    ScopedMedium medium;
    for (int i = 0; i < kLargePictures; ++i)
      medium.writePicture("REFIMG/ST1/SE1/IM" + std::to_string(100 + i) + ".jpg", 2048, 2048);
    ASSERT_TRUE(writeDicomFile(medium.path("DICOM/ST1/SE1/IM1"), {{DCM_Modality, "CT"}}));
    ChildResult child = runTestInChild(
        "EndingRuns.HeldKeysOnLargePicturesStopWithTheKeysAndASignalDuringThemEndsTheRunAtOnce", "keys",
        {{"VELMORA_TEST_MEDIUM", medium.root()}});
    EXPECT_EQ(child.exitStatus, 0) << child.output;
    rusage used{};
    getrusage(RUSAGE_CHILDREN, &used);
    EXPECT_LT(used.ru_maxrss, 1024 * 1024) << "kilobytes at most";
    return;
  }
  std::string root = g_getenv("VELMORA_TEST_MEDIUM");
  ASSERT_EQ(chdir(root.c_str()), 0);
  g_timeout_add(5, pressReferenceTile, nullptr);
  g_timeout_add(10, holdRightKey, nullptr);
  std::string program = VELMORA_PROGRAM;
  char *argv[] = {&program[0], &root[0], nullptr};
  gdk_threads_leave();
  int code = runApplication(2, argv);
  gdk_threads_enter();
  setPictureShownObserver(nullptr);

  EXPECT_EQ(code, 0);
  ASSERT_GT(held.signalledAt, 0);
  // Generous: drawn one by one, the steps went on for tens of seconds.
  EXPECT_LT(held.settledAt - held.pressedAt, 15 * G_USEC_PER_SEC);
  EXPECT_TRUE(held.drawn <= 2 && held.standIns >= 1) << held.drawn << " drawn, " << held.standIns;
  EXPECT_LT(g_get_monotonic_time() - held.signalledAt, kPromptEndMs * 1000);
  EXPECT_EQ(browser.currentImage, held.imageWhenSignalled);  // not one step after the signal
  EXPECT_FALSE(fs::exists(tmpDirectory));
}

}  // namespace
