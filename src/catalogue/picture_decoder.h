// Decoding of the reference pictures on the medium. A picture is read as what
// its leading bytes say it is, JPEG or PNG, by a raster decoder chosen here and
// never by whichever loader the toolkit would pick from the content (a vector
// or scripted format could keep it busy for minutes). Decoding is bounded in
// pixels, JPEG scans and time. No widget is touched: any thread may decode.
#pragma once

#include "platform/glib_owners.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <memory>
#include <string>

using PixbufPtr = UniqueObject<GdkPixbuf>;

// The largest picture decoded: a side of 16384 pixels and 64 megapixels; a
// header can declare any size, and the decoder would set out to allocate it.
constexpr int kLargestPictureSide = 16384;
constexpr long long kLargestPicturePixels = 64LL * 1024 * 1024;
bool pictureSizeWithinLimits(int width, int height);

// A progressive JPEG of more scans than this is refused: each scan walks the
// whole picture, so empty scans cost time for nothing.
constexpr int kMostJpegScans = 100;
// Nor does one picture take longer than this to decode.
constexpr double kLongestPictureDecode = 5.0;  // seconds
// Nor is a file above this size read at all: the whole file is held while it
// is decoded. A picture within the size limits takes far less.
constexpr size_t kLargestPictureFile = 64u * 1024 * 1024;
// What libjpeg may hold besides the pixels (a progressive picture's
// coefficients): enough for the largest picture allowed, sampled 4:4:4.
constexpr long kLargestJpegWorkspace = 400L * 1024 * 1024;
// So one decoding holds at most the file, the workspace and the pixels (4
// bytes a pixel): 64 + 400 + 256 MiB; one that cannot have them fails alone.

enum class PictureFailure {
  none,
  unreadable,   // the file cannot be read
  notAPicture,  // no picture signature at all
  unsupported,  // a raster picture, but neither JPEG nor PNG
  damaged,      // the decoder refused its content
  tooLarge,     // beyond the size limits above
  tooManyScans,
  tooSlow,
  outOfMemory,  // the pixels could not be allocated
};

struct DecodedPicture {
  PixbufPtr pixels;  // 8-bit RGB or RGBA; null on failure
  // The size the picture declares, known once its header was read.
  int fullWidth = 0;
  int fullHeight = 0;
  PictureFailure failure = PictureFailure::none;
  std::string message;  // what went wrong, for standard error
};

// Decodes `bytes`. With `atLeastWidth` and `atLeastHeight` above 0, a JPEG is
// decoded straight at a reduced size (its own DCT scaling) that is no smaller
// than these on either side unless the picture itself is; other pictures come
// at full size. Without them the picture comes at full size.
DecodedPicture decodePicture(const std::string &bytes, int atLeastWidth = 0, int atLeastHeight = 0);

// The same for the regular file at `path` (a pipe or device is refused).
DecodedPicture decodePictureFile(const std::string &path, int atLeastWidth = 0, int atLeastHeight = 0);

// GdkPixbuf fills its list of loaders and loads a loader's module on first
// use, while other threads read them without a lock. Called on the main
// thread before work is handed to other threads that decode.
void prepareDecodingThreads();
