// A medium folder made for one test.
#include "support/scoped_medium.h"

#include "platform/glib_owners.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <boost/filesystem.hpp>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace testsupport {

ScopedMedium::ScopedMedium() {
  gchar *current = g_get_current_dir();
  previousDirectory_ = current;
  g_free(current);
  gchar *made = g_dir_make_tmp("medium-XXXXXX", nullptr);
  if (made == nullptr) throw std::runtime_error("cannot create a medium folder");
  root_ = made;
  g_free(made);
  if (g_chdir(root_.c_str()) != 0) throw std::runtime_error("cannot enter the medium folder");
}

ScopedMedium::~ScopedMedium() {
  if (g_chdir(previousDirectory_.c_str()) != 0) {
    // Nothing sensible is left to do in a destructor.
  }
  boost::system::error_code error;
  boost::filesystem::remove_all(root_, error);
}

void ScopedMedium::makeDirectory(const std::string &relative) const {
  boost::filesystem::create_directories(path(relative));
}

void ScopedMedium::writeFile(const std::string &relative, const std::string &content) const {
  boost::filesystem::path target(path(relative));
  boost::filesystem::create_directories(target.parent_path());
  // Through GLib, which takes UTF-8 names on every system.
  FILE *out = g_fopen(target.string().c_str(), "wb");
  if (out == nullptr) return;
  fwrite(content.data(), 1, content.size(), out);
  fclose(out);
}

void ScopedMedium::writePicture(const std::string &relative, int width, int height) const {
  boost::filesystem::path target(path(relative));
  boost::filesystem::create_directories(target.parent_path());
  UniqueObject<GdkPixbuf> pixbuf(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height));
  gdk_pixbuf_fill(pixbuf.get(), 0x3366aaff);
  std::string extension = target.extension().string();
  const char *type = (extension == ".jpg" || extension == ".jpeg") ? "jpeg" : "png";
  gdk_pixbuf_save(pixbuf.get(), target.string().c_str(), type, nullptr, nullptr);
}

std::string readFile(const std::string &path) {
  gchar *bytes = nullptr;
  gsize length = 0;
  if (!g_file_get_contents(path.c_str(), &bytes, &length, nullptr)) return {};
  const UniqueString owned(bytes);
  return std::string(bytes, length);
}

}  // namespace testsupport
