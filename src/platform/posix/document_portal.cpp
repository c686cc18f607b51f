// org.freedesktop.portal.OpenURI.OpenFile over a private connection to the
// session bus. The portal answers at once with a request object; the handler
// starts after that, so the call never waits for it.
#include "platform/posix/document_portal.h"

#include "platform/glib_owners.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>

#include <fcntl.h>
#include <unistd.h>

#include <memory>

namespace platform {

namespace {

constexpr const char *kPortalName = "org.freedesktop.portal.Desktop";
// A portal that does not answer in this time is as good as none.
constexpr int kCallTimeoutMs = 3000;

struct VariantRelease {
  void operator()(GVariant *value) const { g_variant_unref(value); }
};
using Variant = std::unique_ptr<GVariant, VariantRelease>;

// A connection of our own, closed again at once: the shared one would end the
// process if the bus went away.
struct PrivateBus {
  GDBusConnection *connection = nullptr;
  ~PrivateBus() {
    if (connection == nullptr) return;
    g_dbus_connection_close_sync(connection, nullptr, nullptr);
    g_object_unref(connection);
  }
};

Variant callBus(GDBusConnection *bus, const char *method, GVariant *arguments, const char *replyType) {
  return Variant(g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method, arguments,
      G_VARIANT_TYPE(replyType), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr));
}

// Whether the portal runs on the bus, or the bus can start it.
bool portalOffered(GDBusConnection *bus) {
  if (Variant owned = callBus(bus, "NameHasOwner", g_variant_new("(s)", kPortalName), "(b)")) {
    gboolean hasOwner = FALSE;
    g_variant_get(owned.get(), "(b)", &hasOwner);
    if (hasOwner) return true;
  }
  Variant activatable = callBus(bus, "ListActivatableNames", nullptr, "(as)");
  if (!activatable) return false;
  const gchar **names = nullptr;
  g_variant_get(activatable.get(), "(^a&s)", &names);
  bool found = false;
  for (const gchar **name = names; name != nullptr && *name != nullptr; ++name)
    found = found || g_strcmp0(*name, kPortalName) == 0;
  g_free(names);
  return found;
}

}  // namespace

bool openThroughDocumentPortal(const std::string &path, WindowHandle owner) {
  // Only in a desktop session: without its address GIO would start a bus.
  const char *address = g_getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address == nullptr || *address == '\0') return false;
  PrivateBus bus;
  bus.connection = g_dbus_connection_new_for_address_sync(
      address,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
  if (bus.connection == nullptr || !portalOffered(bus.connection)) return false;

  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  // The list owns the descriptor from here on.
  UniqueObject<GUnixFDList> fds(g_unix_fd_list_new_from_array(&fd, 1));
  UniqueString parent(owner != 0 ? g_strdup_printf("x11:%lx", static_cast<unsigned long>(owner))
                                 : g_strdup(""));
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "ask", g_variant_new_boolean(FALSE));
  GError *rawError = nullptr;
  Variant reply(g_dbus_connection_call_with_unix_fd_list_sync(
      bus.connection, kPortalName, "/org/freedesktop/portal/desktop", "org.freedesktop.portal.OpenURI",
      "OpenFile", g_variant_new("(sha{sv})", parent.get(), 0, &options), G_VARIANT_TYPE("(o)"),
      G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, fds.get(), nullptr, nullptr, &rawError));
  UniqueError error(rawError);
  return reply != nullptr;
}

}  // namespace platform
