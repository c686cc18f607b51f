// Window search by exact title and the active window, on a display connection
// of our own. Runs on worker threads as well as the main thread; it never
// takes the toolkit's lock.
#include "platform/platform.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

namespace {

// The connection is opened on first use and kept for the life of the process:
// the watch polls often, and a worker may still be using it at exit.
// Waits are timed: a thread that lost the display stops for good while it
// holds the lock. Built on a plain mutex and condition, whose waits every
// checker of thread use understands.
class TimedLock {
 public:
  bool tryLockFor(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> guard(mutex_);
    if (!freed_.wait_for(guard, limit, [this] { return !held_; })) return false;
    held_ = true;
    return true;
  }
  void unlock() {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      held_ = false;
    }
    freed_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable freed_;
  bool held_ = false;
};

// Our own connection to the display, for the window searches of any thread.
struct PrivateConnection {
  TimedLock lock;
  Display *display = nullptr;
};
PrivateConnection connection;

// Windows vanish between listing and reading them; the X errors that causes on
// our connection are expected and ignored. Errors on other connections (the
// toolkit's) go to the handler that was installed before ours.
// Process-wide as Xlib's error handlers are, which it calls without data.
struct ErrorTrap {
  std::atomic<Display *> trappedDisplay{nullptr};
  std::atomic<XErrorHandler> previousHandler{nullptr};
  std::atomic<void (*)()> displayLossHook{nullptr};
  std::atomic<XIOErrorHandler> previousIOHandler{nullptr};
};
ErrorTrap errorTrap;

int onXError(Display *display, XErrorEvent *event) {
  if (display == errorTrap.trappedDisplay.load()) return 0;
  XErrorHandler previous = errorTrap.previousHandler.load();
  return previous != nullptr ? previous(display, event) : 0;
}

// Xlib ends the process when this returns. Off the main thread that would
// run the exit handlers under the main thread's feet, so the thread hands the
// end over and waits for it.
int onXIOError(Display *display) {
  if (::getpid() != static_cast<pid_t>(::syscall(SYS_gettid))) {
    if (void (*hook)() = errorTrap.displayLossHook.load()) hook();
    for (;;) ::pause();
  }
  XIOErrorHandler previous = errorTrap.previousIOHandler.load();
  return previous != nullptr ? previous(display) : 0;
}

struct XFreeDeleter {
  void operator()(void *data) const { XFree(data); }
};

// Raw property contents; empty `type` (None) when the window has no such
// property or is gone.
struct Property {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  std::unique_ptr<unsigned char, XFreeDeleter> data;
};

Property readProperty(Display *display, Window window, Atom name) {
  Property property;
  unsigned long remaining = 0;
  unsigned char *data = nullptr;
  // 64 K items is far beyond any title or client list.
  int status = XGetWindowProperty(display, window, name, 0, 65536, False, AnyPropertyType, &property.type,
                                  &property.format, &property.count, &remaining, &data);
  property.data.reset(data);
  if (status != Success || data == nullptr) property.type = None;
  return property;
}

std::vector<Window> windowList(const Property &property) {
  std::vector<Window> windows;
  if (property.type != XA_WINDOW || property.format != 32) return windows;
  // Format 32 items arrive as longs whatever the machine's word size.
  const unsigned long *items = reinterpret_cast<const unsigned long *>(property.data.get());
  windows.assign(items, items + property.count);
  return windows;
}

std::string latin1ToUtf8(const std::string &text) {
  std::string utf8;
  for (unsigned char c : text) {
    if (c < 0x80) {
      utf8 += static_cast<char>(c);
    } else {
      utf8 += static_cast<char>(0xC0 | (c >> 6));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return utf8;
}

struct Atoms {
  Atom clientList;
  Atom activeWindow;
  Atom wmName;
  Atom utf8String;
  Atom compoundText;
};
// Process-wide: interned once for our connection.
Atoms atoms;

// The window's title as UTF-8; false when it has none.
bool windowTitle(Display *display, Window window, std::string &title) {
  Property netName = readProperty(display, window, atoms.wmName);
  if (netName.type == atoms.utf8String && netName.format == 8) {
    title.assign(reinterpret_cast<const char *>(netName.data.get()), netName.count);
  } else {
    Property name = readProperty(display, window, XA_WM_NAME);
    if (name.type == None || name.format != 8) return false;
    title.assign(reinterpret_cast<const char *>(name.data.get()), name.count);
    if (name.type == XA_STRING) {
      title = latin1ToUtf8(title);
    } else if (name.type == atoms.compoundText) {
      // Compound text equals its bytes only while it stays within ASCII.
      for (unsigned char c : title)
        if (c >= 0x80 || c == 0x1B) return false;
    } else if (name.type != atoms.utf8String) {
      return false;
    }
  }
  size_t end = title.find('\0');
  if (end != std::string::npos) title.resize(end);
  return true;
}

std::vector<Window> childrenOf(Display *display, Window window) {
  Window root = None;
  Window parent = None;
  Window *children = nullptr;
  unsigned int count = 0;
  std::vector<Window> result;
  if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) return result;
  std::unique_ptr<Window, XFreeDeleter> owned(children);
  if (children != nullptr) result.assign(children, children + count);
  return result;
}

// Every window that can be a top-level client: the window manager's client
// list first, then the root's children and grandchildren, where clients sit
// without a window manager or inside its frames (and where override-redirect
// splash screens, which no window manager lists, always are).
std::vector<Window> candidateWindows(Display *display) {
  Window root = DefaultRootWindow(display);
  std::vector<Window> candidates = windowList(readProperty(display, root, atoms.clientList));
  for (Window child : childrenOf(display, root)) {
    candidates.push_back(child);
    for (Window grandchild : childrenOf(display, child)) candidates.push_back(grandchild);
  }
  return candidates;
}

bool openPrivateDisplay() {
  connection.display = XOpenDisplay(nullptr);
  if (connection.display == nullptr) return false;
  errorTrap.trappedDisplay = connection.display;
  const char *names[] = {"_NET_CLIENT_LIST", "_NET_ACTIVE_WINDOW", "_NET_WM_NAME", "UTF8_STRING",
                         "COMPOUND_TEXT"};
  Atom found[5];
  XInternAtoms(connection.display, const_cast<char **>(names), 5, False, found);
  atoms = {found[0], found[1], found[2], found[3], found[4]};
  return true;
}

// Runs `search` with the connection locked and its errors trapped; 0 when no
// display can be opened.
template <typename Search>
WindowHandle withDisplay(Search search) {
  if (!connection.lock.tryLockFor(std::chrono::seconds(2))) return 0;
  struct Release {
    ~Release() { connection.lock.unlock(); }
  } release;
  if (connection.display == nullptr && !openPrivateDisplay()) return 0;
  // Installed again at every call, in case a library replaced it since.
  XErrorHandler previous = XSetErrorHandler(onXError);
  if (previous != onXError) errorTrap.previousHandler = previous;
  return search(connection.display);
}

}  // namespace

WindowHandle findTopLevelWindow(const std::string &title) {
  return withDisplay([&title](Display *display) -> WindowHandle {
    for (Window window : candidateWindows(display)) {
      std::string candidateTitle;
      if (windowTitle(display, window, candidateTitle) && candidateTitle == title) return window;
    }
    return 0;
  });
}

void handleDisplayLossOffMainThread(void (*onLoss)()) {
  errorTrap.displayLossHook = onLoss;
  XIOErrorHandler previous = XSetIOErrorHandler(onXIOError);
  if (previous != onXIOError) errorTrap.previousIOHandler = previous;
}

WindowHandle foregroundWindow() {
  return withDisplay([](Display *display) -> WindowHandle {
    std::vector<Window> active =
        windowList(readProperty(display, DefaultRootWindow(display), atoms.activeWindow));
    return active.empty() ? 0 : active.front();
  });
}

}  // namespace platform
