// What a user sees of a program we do not run in-process (the navigator in a
// minimal root): screen_probe find TITLE PICTURE prints the root coordinates
// of the centre of PICTURE where the window titled TITLE shows it (its opaque
// pixels exactly, so the picture was decoded and drawn unscaled) and fails
// when it does not; screen_probe save TITLE FILE keeps what the window shows
// and screen_probe changed TITLE FILE prints how many of its pixels changed since.
#include "platform/platform.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

// XDestroyImage is a macro.
struct ImageDeleter {
  void operator()(XImage *image) const { XDestroyImage(image); }
};

struct Screenshot {
  int width = 0, height = 0, rootX = 0, rootY = 0;
  std::unique_ptr<XImage, ImageDeleter> image;
  unsigned long pixel(int x, int y) const { return XGetPixel(image.get(), x, y) & 0xFFFFFF; }
};

bool capture(Display *display, const std::string &title, Screenshot &shot) {
  const Window window = platform::findTopLevelWindow(title);
  XWindowAttributes attributes;
  if (window == 0 || !XGetWindowAttributes(display, window, &attributes) ||
      attributes.map_state != IsViewable)
    return false;
  Window child;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &shot.rootX, &shot.rootY, &child);
  shot.width = attributes.width;
  shot.height = attributes.height;
  shot.image.reset(XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap));
  return shot.image != nullptr && attributes.depth == 24;
}

bool matchesAt(const Screenshot &shot, const GdkPixbuf *picture, int left, int top) {
  const int channels = gdk_pixbuf_get_n_channels(picture), stride = gdk_pixbuf_get_rowstride(picture);
  const guchar *pixels = gdk_pixbuf_read_pixels(picture);
  for (int y = 0; y < gdk_pixbuf_get_height(picture); ++y)
    for (int x = 0; x < gdk_pixbuf_get_width(picture); ++x) {
      const guchar *p = pixels + y * stride + x * channels;
      if (channels == 4 && p[3] != 255) continue;
      const unsigned long expected = (p[0] << 16) | (p[1] << 8) | p[2];
      if (shot.pixel(left + x, top + y) != expected) return false;
    }
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: screen_probe find|save|changed TITLE FILE\n");
    return 2;
  }
  std::unique_ptr<Display, decltype(&XCloseDisplay)> display(XOpenDisplay(nullptr), XCloseDisplay);
  Screenshot shot;
  if (!display || !capture(display.get(), argv[2], shot)) {
    std::fprintf(stderr, "no window titled \"%s\" is shown\n", argv[2]);
    return 1;
  }
  std::vector<uint32_t> pixels;
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x) pixels.push_back(static_cast<uint32_t>(shot.pixel(x, y)));
  if (std::strcmp(argv[1], "save") == 0) {
    std::ofstream(argv[3], std::ios::binary)
        .write(reinterpret_cast<const char *>(pixels.data()),
               static_cast<std::streamsize>(pixels.size() * 4));
    return 0;
  }
  if (std::strcmp(argv[1], "changed") == 0) {
    std::vector<uint32_t> saved(pixels.size());
    std::ifstream(argv[3], std::ios::binary)
        .read(reinterpret_cast<char *>(saved.data()), static_cast<std::streamsize>(saved.size() * 4));
    size_t changed = 0;
    for (size_t i = 0; i < pixels.size(); ++i) changed += pixels[i] != saved[i] ? 1 : 0;
    std::printf("%zu\n", changed);
    return 0;
  }
  GError *failure = nullptr;
  std::unique_ptr<GdkPixbuf, decltype(&g_object_unref)> picture(gdk_pixbuf_new_from_file(argv[3], &failure),
                                                                g_object_unref);
  if (!picture) {
    std::fprintf(stderr, "%s\n", failure->message);
    g_error_free(failure);
    return 2;
  }
  const int width = gdk_pixbuf_get_width(picture.get()), height = gdk_pixbuf_get_height(picture.get());
  for (int top = 0; top + height <= shot.height; ++top)
    for (int left = 0; left + width <= shot.width; ++left)
      if (matchesAt(shot, picture.get(), left, top)) {
        std::printf("%d %d\n", shot.rootX + left + width / 2, shot.rootY + top + height / 2);
        return 0;
      }
  std::fprintf(stderr, "\"%s\" does not show %s\n", argv[2], argv[3]);
  return 1;
}
