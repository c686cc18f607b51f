// Window search by exact title and the active window, against real windows on
// the test display, from the main thread and from a worker thread.
#include "platform/platform.h"

#include "support/gui.h"

// Before the X headers, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <unistd.h>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// Toolkit windows with the given titles, shown for one test.
class TitledWindows {
 public:
  explicit TitledWindows(const std::vector<std::string> &titles) {
    for (const std::string &title : titles) {
      GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
      gtk_window_set_title(GTK_WINDOW(window), title.c_str());
      gtk_window_set_default_size(GTK_WINDOW(window), 40, 30);
      gtk_widget_show(window);
      windows_.push_back(window);
    }
    testsupport::drainEvents();
    gdk_flush();
  }
  ~TitledWindows() {
    for (GtkWidget *window : windows_) gtk_widget_destroy(window);
    testsupport::drainEvents();
  }
  platform::WindowHandle handle(size_t index) const {
    return GDK_WINDOW_XID(gtk_widget_get_window(windows_[index]));
  }

 private:
  std::vector<GtkWidget *> windows_;
};

// A connection of the test's own for windows the toolkit would not make.
class RawDisplay {
 public:
  RawDisplay() : display_(XOpenDisplay(nullptr)) {}
  ~RawDisplay() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  Display *get() const { return display_; }
  Window root() const { return DefaultRootWindow(display_); }
  Window createWindow(Window parent) {
    Window window = XCreateSimpleWindow(display_, parent, 0, 0, 20, 20, 0, 0, 0);
    XMapWindow(display_, window);
    return window;
  }
  void setWindowList(const char *property, const std::vector<Window> &windows) {
    std::vector<unsigned long> items(windows.begin(), windows.end());
    XChangeProperty(display_, root(), XInternAtom(display_, property, False), XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(items.data()), static_cast<int>(items.size()));
    XSync(display_, False);
  }
  void removeProperty(const char *property) {
    XDeleteProperty(display_, root(), XInternAtom(display_, property, False));
    XSync(display_, False);
  }

 private:
  Display *display_;
};

std::string uniqueTitle(const std::string &base) { return base + "-" + std::to_string(getpid()); }

TEST(FindTopLevelWindowTest, FindsOnlyTheExactTitle) {
  const std::string own = uniqueTitle("Splash");
  TitledWindows windows(
      {"DICOMViewerSplash", "DICOMViewerSplashX", own, own + "X", uniqueTitle("Przeglądarka – zdjęć")});
  ASSERT_TRUE(testsupport::waitUntil([&] { return platform::findTopLevelWindow(own) == windows.handle(2); }));

  struct Case {
    std::string title;
    platform::WindowHandle expected;
  };
  const std::vector<Case> cases = {
      {"DICOMViewerSplashX", windows.handle(1)},
      {own, windows.handle(2)},
      {own + "X", windows.handle(3)},
      {uniqueTitle("Przeglądarka – zdjęć"), windows.handle(4)},
      {"DICOMViewerSpl", 0},
      {"ICOMViewerSplash", 0},
      {own.substr(0, own.size() - 1), 0},
      {"dicomviewersplash", 0},
  };
  for (const Case &c : cases) EXPECT_EQ(platform::findTopLevelWindow(c.title), c.expected) << c.title;
  // Another test may show a splash of the same name; whichever is found has it exactly.
  platform::WindowHandle splash = platform::findTopLevelWindow("DICOMViewerSplash");
  EXPECT_NE(splash, 0u);
  EXPECT_NE(splash, windows.handle(1));

  // The same from a worker thread that does not hold the toolkit's lock.
  std::atomic<bool> done{false};
  std::vector<platform::WindowHandle> found;
  std::thread worker([&] {
    for (const Case &c : cases) found.push_back(platform::findTopLevelWindow(c.title));
    done = true;
  });
  bool finished = testsupport::waitUntil([&] { return done.load(); });
  worker.join();
  ASSERT_TRUE(finished);
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(found[i], cases[i].expected) << cases[i].title;
}

TEST(FindTopLevelWindowTest, ClosedWindowsAreNoLongerFound) {
  const std::string title = uniqueTitle("Closing");
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), title.c_str());
  gtk_widget_show(window);
  platform::WindowHandle handle = GDK_WINDOW_XID(gtk_widget_get_window(window));
  ASSERT_TRUE(testsupport::waitUntil([&] { return platform::findTopLevelWindow(title) == handle; }));
  gtk_widget_destroy(window);
  EXPECT_TRUE(testsupport::waitUntil([&] { return platform::findTopLevelWindow(title) == 0; }));
}

TEST(FindTopLevelWindowTest, ReadsLatin1WindowNamesAndTheWindowManagersClientList) {
  RawDisplay raw;
  ASSERT_NE(raw.get(), nullptr);
  // A WM_NAME-only window (Latin-1 STRING, as old programs set it).
  Window plain = raw.createWindow(raw.root());
  std::string latin1 = "Caf\xe9-" + std::to_string(getpid());
  XStoreName(raw.get(), plain, latin1.c_str());
  // A client nested deeper than any walk from the root reaches, listed by a
  // window manager together with a window that no longer exists.
  Window frame = raw.createWindow(raw.root());
  Window inner = raw.createWindow(raw.createWindow(frame));
  std::string listedTitle = uniqueTitle("Listed");
  XStoreName(raw.get(), inner, listedTitle.c_str());
  Window vanished = raw.createWindow(raw.root());
  XDestroyWindow(raw.get(), vanished);
  XSync(raw.get(), False);

  EXPECT_EQ(platform::findTopLevelWindow("Café-" + std::to_string(getpid())), plain);
  EXPECT_EQ(platform::findTopLevelWindow(listedTitle), 0u);
  raw.setWindowList("_NET_CLIENT_LIST", {vanished, inner});
  EXPECT_EQ(platform::findTopLevelWindow(listedTitle), inner);
  // Windows the manager does not list (override-redirect splashes) are still found.
  EXPECT_EQ(platform::findTopLevelWindow("Café-" + std::to_string(getpid())), plain);
  raw.removeProperty("_NET_CLIENT_LIST");
}

TEST(ForegroundWindowTest, IsTheWindowManagersActiveWindow) {
  RawDisplay raw;
  ASSERT_NE(raw.get(), nullptr);
  raw.removeProperty("_NET_ACTIVE_WINDOW");
  EXPECT_EQ(platform::foregroundWindow(), 0u);
  Window active = raw.createWindow(raw.root());
  raw.setWindowList("_NET_ACTIVE_WINDOW", {active});
  EXPECT_EQ(platform::foregroundWindow(), active);
  raw.setWindowList("_NET_ACTIVE_WINDOW", {None});
  EXPECT_EQ(platform::foregroundWindow(), 0u);
  raw.removeProperty("_NET_ACTIVE_WINDOW");
}

}  // namespace
