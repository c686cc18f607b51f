// JPEG through libjpeg(-turbo) with DCT scaling and a scan limit; PNG through
// the toolkit's PNG loader only, asked for by name.
#include "catalogue/picture_decoder.h"

#include "catalogue/picture_signature.h"
#include "platform/glib_owners.h"
#include "platform/platform.h"

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr gint64 kMicroseconds = 1000000;

DecodedPicture failed(PictureFailure failure, std::string message) {
  DecodedPicture result;
  result.failure = failure;
  result.message = std::move(message);
  return result;
}

std::string sizeMessage(int width, int height) {
  return "obraz " + std::to_string(width) + " x " + std::to_string(height) + " jest zbyt duży";
}

// ---- JPEG ----

// Everything the decoding touches lives here, outside the function that calls
// setjmp, so that nothing it changes is lost when an error jumps back.
struct JpegJob {
  jpeg_decompress_struct info;
  struct Errors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
  } errors;
  struct Progress {
    jpeg_progress_mgr manager;
    gint64 deadline;
  } progress;
  PictureFailure failure = PictureFailure::damaged;
  char message[JMSG_LENGTH_MAX] = "";
  GdkPixbuf *pixbuf = nullptr;
  std::vector<JSAMPLE> cmykRow;
  int fullWidth = 0;
  int fullHeight = 0;
};

JpegJob &jobOf(j_common_ptr info) { return *reinterpret_cast<JpegJob *>(info->client_data); }

[[noreturn]] void stopJpeg(j_common_ptr info, PictureFailure failure, const char *message) {
  JpegJob &job = jobOf(info);
  job.failure = failure;
  g_strlcpy(job.message, message, sizeof job.message);
  std::longjmp(job.errors.jump, 1);
}

[[noreturn]] void onJpegError(j_common_ptr info) {
  char message[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, message);
  stopJpeg(info,
           info->err->msg_code == JERR_OUT_OF_MEMORY ? PictureFailure::outOfMemory : PictureFailure::damaged,
           message);
}

// Warnings about damaged data are not reported: the picture decodes as far as
// it can, as with the toolkit's loader.
void onJpegMessage(j_common_ptr, int) {}

void onJpegProgress(j_common_ptr info) {
  JpegJob &job = jobOf(info);
  if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMostJpegScans)
    stopJpeg(info, PictureFailure::tooManyScans, "ponad 100 skanów JPEG");
  if (g_get_monotonic_time() > job.progress.deadline)
    stopJpeg(info, PictureFailure::tooSlow, "dekodowanie trwa zbyt długo");
}

// The smallest eighth-step scale whose result is at least `wanted` on both
// sides (or the whole picture where it is smaller).
int jpegScaleEighths(int width, int height, int wantedWidth, int wantedHeight) {
  if (wantedWidth <= 0 || wantedHeight <= 0) return 8;
  for (int eighths = 1; eighths < 8; ++eighths) {
    long long scaledWidth = (static_cast<long long>(width) * eighths + 7) / 8;
    long long scaledHeight = (static_cast<long long>(height) * eighths + 7) / 8;
    if (scaledWidth >= std::min(wantedWidth, width) && scaledHeight >= std::min(wantedHeight, height))
      return eighths;
  }
  return 8;
}

// Adobe's inverted CMYK, as the toolkit's loader converts it.
void cmykToRgb(const JSAMPLE *cmyk, guchar *rgb, int width) {
  for (int x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
    int k = cmyk[3];
    rgb[0] = static_cast<guchar>(cmyk[0] * k / 255);
    rgb[1] = static_cast<guchar>(cmyk[1] * k / 255);
    rgb[2] = static_cast<guchar>(cmyk[2] * k / 255);
  }
}

// True when job.pixbuf holds the picture; on false, job.failure says why.
bool runJpeg(JpegJob &job, const std::string &bytes, int wantedWidth, int wantedHeight) {
  jpeg_decompress_struct &info = job.info;
  info.err = jpeg_std_error(&job.errors.manager);
  job.errors.manager.error_exit = onJpegError;
  job.errors.manager.emit_message = onJpegMessage;
  job.progress.manager.progress_monitor = onJpegProgress;
  if (setjmp(job.errors.jump) != 0) {
    jpeg_destroy_decompress(&info);
    if (job.pixbuf != nullptr) g_object_unref(job.pixbuf);
    job.pixbuf = nullptr;
    return false;
  }
  jpeg_create_decompress(&info);
  info.client_data = &job;
  info.progress = &job.progress.manager;
  // A progressive picture keeps its coefficients in memory while its scans
  // arrive; this bounds them (within the size limits they always fit).
  info.mem->max_memory_to_use = kLargestJpegWorkspace;
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  job.fullWidth = static_cast<int>(info.image_width);
  job.fullHeight = static_cast<int>(info.image_height);
  if (!pictureSizeWithinLimits(job.fullWidth, job.fullHeight)) {
    // Returned from here rather than jumped: nothing is left to clean up.
    jpeg_destroy_decompress(&info);
    job.failure = PictureFailure::tooLarge;
    return false;
  }
  bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  info.scale_num =
      static_cast<unsigned>(jpegScaleEighths(job.fullWidth, job.fullHeight, wantedWidth, wantedHeight));
  info.scale_denom = 8;
  jpeg_start_decompress(&info);

  int width = static_cast<int>(info.output_width);
  job.pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, static_cast<int>(info.output_height));
  if (job.pixbuf == nullptr)
    stopJpeg(reinterpret_cast<j_common_ptr>(&info), PictureFailure::outOfMemory, "brak pamięci na obraz");
  guchar *pixels = gdk_pixbuf_get_pixels(job.pixbuf);
  int stride = gdk_pixbuf_get_rowstride(job.pixbuf);
  if (cmyk) job.cmykRow.resize(static_cast<size_t>(width) * 4);
  while (info.output_scanline < info.output_height) {
    guchar *row = pixels + static_cast<size_t>(info.output_scanline) * static_cast<size_t>(stride);
    JSAMPROW target = cmyk ? job.cmykRow.data() : row;
    if (jpeg_read_scanlines(&info, &target, 1) != 1) break;
    if (cmyk) cmykToRgb(job.cmykRow.data(), row, width);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

DecodedPicture decodeJpeg(const std::string &bytes, int wantedWidth, int wantedHeight) {
  JpegJob job;
  job.progress.deadline = g_get_monotonic_time() + static_cast<gint64>(kLongestPictureDecode * kMicroseconds);
  bool decoded = runJpeg(job, bytes, wantedWidth, wantedHeight);
  DecodedPicture result;
  result.fullWidth = job.fullWidth;
  result.fullHeight = job.fullHeight;
  if (!decoded) {
    result.failure = job.failure;
    result.message = std::string("JPEG: ") + (job.failure == PictureFailure::tooLarge
                                                  ? sizeMessage(job.fullWidth, job.fullHeight)
                                                  : std::string(job.message));
    return result;
  }
  result.pixels.reset(job.pixbuf);
  return result;
}

// ---- PNG ----

struct PngSize {
  int width = 0;
  int height = 0;
  bool refused = false;
};

// Runs as soon as the header is read, before any pixel memory is allocated.
void onPngSizePrepared(GdkPixbufLoader *loader, int width, int height, gpointer data) {
  auto *size = static_cast<PngSize *>(data);
  size->width = width;
  size->height = height;
  if (!pictureSizeWithinLimits(width, height)) {
    size->refused = true;
    // A size of nothing makes the loader stop before it allocates.
    gdk_pixbuf_loader_set_size(loader, 0, 0);
  }
}

DecodedPicture decodePng(const std::string &bytes) {
  GError *rawError = nullptr;
  UniqueObject<GdkPixbufLoader> loader(gdk_pixbuf_loader_new_with_type("png", &rawError));
  if (!loader) {
    std::string message = rawError != nullptr ? rawError->message : "brak dekodera PNG";
    if (rawError != nullptr) g_error_free(rawError);
    return failed(PictureFailure::damaged, "PNG: " + message);
  }
  PngSize size;
  g_signal_connect(loader.get(), "size-prepared", G_CALLBACK(onPngSizePrepared), &size);
  const gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(kLongestPictureDecode * kMicroseconds);
  const size_t kChunk = 64 * 1024;
  bool written = true;
  bool late = false;
  for (size_t at = 0; at < bytes.size() && written && !size.refused; at += kChunk) {
    if (g_get_monotonic_time() > deadline) {
      late = true;
      break;
    }
    size_t length = std::min(kChunk, bytes.size() - at);
    written = gdk_pixbuf_loader_write(loader.get(), reinterpret_cast<const guchar *>(bytes.data() + at),
                                      length, &rawError) != FALSE;
  }
  // Closed in every case, so that the loader lets go of what it holds.
  bool closed = gdk_pixbuf_loader_close(loader.get(), written ? &rawError : nullptr) != FALSE;
  UniqueError error(rawError);

  DecodedPicture result;
  result.fullWidth = size.width;
  result.fullHeight = size.height;
  if (size.refused) return failed(PictureFailure::tooLarge, "PNG: " + sizeMessage(size.width, size.height));
  if (late) return failed(PictureFailure::tooSlow, "PNG: dekodowanie trwa zbyt długo");
  GdkPixbuf *pixels = gdk_pixbuf_loader_get_pixbuf(loader.get());
  if (!written || !closed || pixels == nullptr) {
    bool memory =
        error && error->domain == GDK_PIXBUF_ERROR && error->code == GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY;
    return failed(memory ? PictureFailure::outOfMemory : PictureFailure::damaged,
                  std::string("PNG: ") + (error ? error->message : "uszkodzony obraz"));
  }
  result.pixels.reset(GDK_PIXBUF(g_object_ref(pixels)));
  return result;
}

}  // namespace

bool pictureSizeWithinLimits(int width, int height) {
  return width > 0 && height > 0 && width <= kLargestPictureSide && height <= kLargestPictureSide &&
         static_cast<long long>(width) * height <= kLargestPicturePixels;
}

DecodedPicture decodePicture(const std::string &bytes, int atLeastWidth, int atLeastHeight) {
  // The picture's own signature decides, whatever the file is called.
  switch (pictureKindOf(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size())) {
    case PictureKind::Jpeg:
      return decodeJpeg(bytes, atLeastWidth, atLeastHeight);
    case PictureKind::Png:
      return decodePng(bytes);
    case PictureKind::None:
      return failed(PictureFailure::notAPicture, "to nie jest obraz");
    default:
      return failed(PictureFailure::unsupported, "obraz, ale nie JPEG ani PNG");
  }
}

DecodedPicture decodePictureFile(const std::string &path, int atLeastWidth, int atLeastHeight) {
  // Whatever fails in here fails this one picture; the memory it would take
  // is bounded above, but another picture may hold the rest meanwhile.
  try {
    std::string bytes;
    std::string error;
    if (!platform::readRegularFile(path, kLargestPictureFile, bytes, &error))
      return failed(PictureFailure::unreadable, error);
    DecodedPicture result = decodePicture(bytes, atLeastWidth, atLeastHeight);
    if (!result.pixels) result.message = path + ": " + result.message;
    return result;
  } catch (const std::bad_alloc &) {
    return failed(PictureFailure::outOfMemory, path + ": brak pamięci na obraz");
  } catch (const std::exception &error) {
    return failed(PictureFailure::damaged, path + ": " + error.what());
  }
}

void prepareDecodingThreads() {
  static const bool prepared = [] {
    // The list, and the PNG module loaded into it, while no worker runs.
    g_slist_free(gdk_pixbuf_get_formats());
    if (GdkPixbufLoader *loader = gdk_pixbuf_loader_new_with_type("png", nullptr)) {
      gdk_pixbuf_loader_close(loader, nullptr);
      g_object_unref(loader);
    }
    return true;
  }();
  (void)prepared;
}
