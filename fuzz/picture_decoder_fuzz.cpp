// Fuzzes the decoding of reference pictures, at full and at thumbnail size:
// any bytes give either a picture within the size limits or a failure with
// a reason, within the time budget.
#include "catalogue/picture_decoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void check(const DecodedPicture &result, int atLeast) {
  if (!result.pixels) {
    if (result.failure == PictureFailure::none || result.message.empty()) std::abort();
    return;
  }
  if (result.failure != PictureFailure::none) std::abort();
  int width = gdk_pixbuf_get_width(result.pixels.get());
  int height = gdk_pixbuf_get_height(result.pixels.get());
  if (!pictureSizeWithinLimits(result.fullWidth, result.fullHeight)) std::abort();
  if (width > result.fullWidth || height > result.fullHeight) std::abort();
  if (atLeast == 0 && (width != result.fullWidth || height != result.fullHeight)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string bytes(reinterpret_cast<const char *>(data), size);
  check(decodePicture(bytes), 0);
  check(decodePicture(bytes, 128, 128), 128);
  return 0;
}
