// Decoding a report's pictures within bounds.
#include "reader/report_pictures.h"

#include <glib/gstdio.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr gint64 kMostPictureFileBytes = 32 * 1024 * 1024;
// A header may promise any size: no report needs more pixels than this.
constexpr double kMostPicturePixels = 50e6;

}  // namespace

GdkPixbuf *loadReportPicture(const std::string &path) {
  GStatBuf status;
  if (g_stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
      status.st_size > kMostPictureFileBytes)
    return nullptr;
  int width = 0, height = 0;
  if (gdk_pixbuf_get_file_info(path.c_str(), &width, &height) == nullptr || width <= 0 || height <= 0 ||
      static_cast<double>(width) * height > kMostPicturePixels)
    return nullptr;
  int shownWidth = std::min(width, kWidestReportPicture);
  int shownHeight =
      std::max(1, static_cast<int>(std::lround(static_cast<double>(height) * shownWidth / width)));
  return gdk_pixbuf_new_from_file_at_scale(path.c_str(), shownWidth, shownHeight, FALSE, nullptr);
}
