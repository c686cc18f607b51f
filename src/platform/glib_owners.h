// Owners of GLib and GObject resources. Wrap each resource the moment it is
// made, so that no return path can leak it; an owner of null releases nothing.
// In the lowest layer so that every layer, the platform's too, can use them.
#pragma once

#include <glib-object.h>
#include <glib.h>

#include <memory>

struct GFreeDeleter {
  void operator()(gpointer memory) const { g_free(memory); }
};
struct GStrvDeleter {
  void operator()(gchar **strings) const { g_strfreev(strings); }
};
struct GObjectDeleter {
  void operator()(gpointer object) const { g_object_unref(object); }
};
struct GErrorDeleter {
  void operator()(GError *error) const { g_error_free(error); }
};
struct GDirDeleter {
  void operator()(GDir *dir) const { g_dir_close(dir); }
};

// A string or block from g_malloc, g_strdup and the like.
using UniqueString = std::unique_ptr<gchar, GFreeDeleter>;
// A null-terminated string vector (g_strsplit, g_shell_parse_argv).
using UniqueStrv = std::unique_ptr<gchar *, GStrvDeleter>;
// One reference to a GObject (a GdkPixbuf, a GFile, a GAppInfo).
template <typename T>
using UniqueObject = std::unique_ptr<T, GObjectDeleter>;
using UniqueError = std::unique_ptr<GError, GErrorDeleter>;
using UniqueDir = std::unique_ptr<GDir, GDirDeleter>;
