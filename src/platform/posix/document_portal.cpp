// org.freedesktop.portal.OpenURI.OpenFile over a private connection to the
// session bus. The portal answers at once with a request object; the handler
// starts after that, so the call never waits for it.
//
// A session bus can accept a connection and then never answer: connecting,
// authenticating and every call would wait for ever. So the bus work runs on a
// thread of its own, every step of it cancellable, and the caller waits for
// its answer at most kPortalLimitUs (less when the program is asked to end);
// then it cancels the work and goes on without the portal.
#include "platform/posix/document_portal.h"

#include "platform/glib_owners.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace platform {

namespace {

constexpr const char *kPortalName = "org.freedesktop.portal.Desktop";
// A portal that does not answer in this time is as good as none.
constexpr gint64 kPortalLimitUs = 3 * G_USEC_PER_SEC;
constexpr int kCallTimeoutMs = 3000;
// How often a waiting caller looks at the request to end the program.
constexpr gint64 kAbandonCheckUs = 20 * 1000;

std::atomic<bool (*)()> abandonWaits{nullptr};

}  // namespace

bool waitsAbandoned() {
  bool (*abandon)() = abandonWaits;
  return abandon != nullptr && abandon();
}

namespace {

struct VariantRelease {
  void operator()(GVariant *value) const { g_variant_unref(value); }
};
using Variant = std::unique_ptr<GVariant, VariantRelease>;

// A connection of our own, closed again when done: the shared one would end
// the process if the bus went away. The close is not waited for, as a silent
// bus would keep it waiting.
struct PrivateBus {
  GDBusConnection *connection = nullptr;
  ~PrivateBus() {
    if (connection == nullptr) return;
    g_dbus_connection_close(connection, nullptr, nullptr, nullptr);
    g_object_unref(connection);
  }
};

// One request, shared by the caller and the bus thread; whichever lets go
// last frees it.
struct PortalRequest {
  bool probeOnly = false;  // connect and greet the bus, nothing more
  std::string address;
  std::string parent;
  int fd = -1;  // the document, open for reading; the bus thread passes it on
  UniqueObject<GCancellable> cancellable{g_cancellable_new()};
  std::mutex mutex;
  std::condition_variable answered;
  bool done = false;
  bool accepted = false;
  // The cancellable's descriptor is made here, on the caller's thread, which
  // later cancels through it; the bus thread's waits share it.
  PortalRequest() {
    GPollFD wake;
    g_cancellable_make_pollfd(cancellable.get(), &wake);
  }
  ~PortalRequest() {
    g_cancellable_release_fd(cancellable.get());
    if (fd >= 0) ::close(fd);
  }
  PortalRequest(const PortalRequest &) = delete;
  PortalRequest &operator=(const PortalRequest &) = delete;
};

Variant callBus(GDBusConnection *bus, const char *method, GVariant *arguments, const char *replyType,
                GCancellable *cancellable) {
  return Variant(g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method, arguments,
      G_VARIANT_TYPE(replyType), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, cancellable, nullptr));
}

// Whether the portal runs on the bus, or the bus can start it.
bool portalOffered(GDBusConnection *bus, GCancellable *cancellable) {
  if (Variant owned = callBus(bus, "NameHasOwner", g_variant_new("(s)", kPortalName), "(b)", cancellable)) {
    gboolean hasOwner = FALSE;
    g_variant_get(owned.get(), "(b)", &hasOwner);
    if (hasOwner) return true;
  }
  Variant activatable = callBus(bus, "ListActivatableNames", nullptr, "(as)", cancellable);
  if (!activatable) return false;
  const gchar **names = nullptr;
  g_variant_get(activatable.get(), "(^a&s)", &names);
  bool found = false;
  for (const gchar **name = names; name != nullptr && *name != nullptr; ++name)
    found = found || g_strcmp0(*name, kPortalName) == 0;
  g_free(names);
  return found;
}

// The bus thread's work. The connection is made without the message bus
// flag, whose greeting GIO sends without a way to cancel it; the greeting is
// sent here instead, cancellable like every other step.
bool requestOpening(PortalRequest &request) {
  GCancellable *cancellable = request.cancellable.get();
  PrivateBus bus;
  bus.connection = g_dbus_connection_new_for_address_sync(
      request.address.c_str(), G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT, nullptr, cancellable, nullptr);
  if (bus.connection == nullptr || !callBus(bus.connection, "Hello", nullptr, "(s)", cancellable))
    return false;
  if (request.probeOnly) return true;
  if (!portalOffered(bus.connection, cancellable)) return false;

  // The list owns the descriptor from here on.
  UniqueObject<GUnixFDList> fds(g_unix_fd_list_new_from_array(&request.fd, 1));
  request.fd = -1;
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "ask", g_variant_new_boolean(FALSE));
  GError *rawError = nullptr;
  Variant reply(g_dbus_connection_call_with_unix_fd_list_sync(
      bus.connection, kPortalName, "/org/freedesktop/portal/desktop", "org.freedesktop.portal.OpenURI",
      "OpenFile", g_variant_new("(sha{sv})", request.parent.c_str(), 0, &options), G_VARIANT_TYPE("(o)"),
      G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, fds.get(), nullptr, cancellable, &rawError));
  UniqueError error(rawError);
  return reply != nullptr;
}

gpointer runRequest(gpointer data) {
  std::unique_ptr<std::shared_ptr<PortalRequest>> held(static_cast<std::shared_ptr<PortalRequest> *>(data));
  PortalRequest &request = **held;
  bool accepted = requestOpening(request);
  std::lock_guard<std::mutex> lock(request.mutex);
  request.accepted = accepted;
  request.done = true;
  request.answered.notify_all();
  return nullptr;
}

// The document for reading, never waiting: a pipe named like a document would
// keep open() waiting for a writer. Only a regular file is handed on.
int openRegularFile(const std::string &path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return -1;
  }
  // The handler reads it as an ordinary file.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

// Runs the request on a thread of its own and waits for its answer, at most
// kPortalLimitUs and not once waits are given up.
PortalAnswer runBounded(const std::shared_ptr<PortalRequest> &request) {
  auto held = std::make_unique<std::shared_ptr<PortalRequest>>(request);
  GThread *thread = g_thread_try_new("documentPortal", runRequest, held.get(), nullptr);
  if (thread == nullptr) return PortalAnswer::refused;
  held.release();
  g_thread_unref(thread);

  gint64 deadline = g_get_monotonic_time() + kPortalLimitUs;
  std::unique_lock<std::mutex> lock(request->mutex);
  for (;;) {
    if (request->done) return request->accepted ? PortalAnswer::opened : PortalAnswer::refused;
    gint64 now = g_get_monotonic_time();
    if (now >= deadline || waitsAbandoned()) break;
    request->answered.wait_for(lock, std::chrono::microseconds(std::min(deadline - now, kAbandonCheckUs)));
  }
  lock.unlock();
  // The bus thread ends soon after; what it still answers is not used.
  g_cancellable_cancel(request->cancellable.get());
  return PortalAnswer::silent;
}

}  // namespace

void abandonWaitsWhen(bool (*abandon)()) { abandonWaits = abandon; }

PortalAnswer openThroughDocumentPortal(const std::string &path, WindowHandle owner) {
  // Only in a desktop session: without its address GIO would start a bus.
  const char *address = g_getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address == nullptr || *address == '\0') return PortalAnswer::refused;
  auto request = std::make_shared<PortalRequest>();
  request->address = address;
  if (owner != 0) {
    UniqueString parent(g_strdup_printf("x11:%lx", static_cast<unsigned long>(owner)));
    request->parent = parent.get();
  }
  request->fd = openRegularFile(path);
  if (request->fd < 0) return PortalAnswer::refused;
  return runBounded(request);
}

bool sessionBusSilent() {
  const char *address = g_getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address == nullptr || *address == '\0') return false;
  auto request = std::make_shared<PortalRequest>();
  request->probeOnly = true;
  request->address = address;
  return runBounded(request) == PortalAnswer::silent;
}

}  // namespace platform
