// JPEG pictures from grey levels, encoded by GdkPixbuf. May run on any thread:
// every call works on pixbufs of its own.
#include "jpeg_pictures.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <memory>

namespace samplemedium {

bool saveGreyJpeg(const std::string &path, const std::vector<uint8_t> &grey, int width, int height,
                  int outWidth, int outHeight, std::string *error) {
  std::unique_ptr<GdkPixbuf, decltype(&g_object_unref)> pixbuf(
      gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height), g_object_unref);
  if (!pixbuf) {
    *error = path + ": no memory for the picture";
    return false;
  }
  guchar *pixels = gdk_pixbuf_get_pixels(pixbuf.get());
  const int stride = gdk_pixbuf_get_rowstride(pixbuf.get());
  for (int y = 0; y < height; ++y) {
    guchar *out = pixels + static_cast<size_t>(y) * stride;
    const uint8_t *in = &grey[static_cast<size_t>(y) * width];
    for (int x = 0; x < width; ++x, out += 3) out[0] = out[1] = out[2] = in[x];
  }
  if (outWidth != width || outHeight != height)
    pixbuf.reset(gdk_pixbuf_scale_simple(pixbuf.get(), outWidth, outHeight, GDK_INTERP_BILINEAR));
  GError *failure = nullptr;
  if (!pixbuf || !gdk_pixbuf_save(pixbuf.get(), path.c_str(), "jpeg", &failure, "quality", "90", nullptr)) {
    *error = path + ": " + (failure ? failure->message : "the picture cannot be scaled");
    if (failure) g_error_free(failure);
    return false;
  }
  return true;
}

}  // namespace samplemedium
