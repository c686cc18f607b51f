// Rendering with DCMTK's image module and JPEG writing with libturbojpeg (its
// SIMD encoder is several times faster than the IJG 6b code inside DCMTK, and
// it writes from memory). Every function here may run on any thread: each
// call owns its image and its encoder.
#include "reference_pictures.h"

#include "examination_plan.h"

#include "catalogue/picture_decoder.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmimage/diregist.h>  // colour images
#include <dcmtk/dcmimgle/dcmimage.h>
#include <turbojpeg.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <memory>

namespace makedisc {

namespace {

const double kBytesAtOnce = 256.0 * 1024 * 1024;

struct EncoderDeleter {
  void operator()(void *handle) const { tjDestroy(handle); }
};
struct JpegBufferDeleter {
  void operator()(unsigned char *buffer) const { tjFree(buffer); }
};
struct FileCloser {
  void operator()(FILE *file) const { std::fclose(file); }
};

// Chooses the image's own presentation: window, else VOI LUT, else its values.
void chooseWindow(DicomImage &image) {
  if (!image.isMonochrome()) return;
  if (image.getWindowCount() > 0 && image.setWindow(0)) return;
  if (image.getVoiLutCount() > 0 && image.setVoiLut(0)) return;
  image.setMinMaxWindow(0);
}

}  // namespace

Raster fitRaster(const Raster &raster, double heightRatio, int maxSide) {
  const double shownHeight = raster.height * (heightRatio > 0 ? heightRatio : 1.0);
  const double longer = std::max<double>(raster.width, shownHeight);
  const double scale = longer > maxSide ? maxSide / longer : 1.0;
  const int width = std::max(1, static_cast<int>(std::lround(raster.width * scale)));
  const int height = std::max(1, static_cast<int>(std::lround(shownHeight * scale)));
  if (width == raster.width && height == raster.height) return raster;
  Raster out{width, height, raster.channels, {}};
  out.pixels.resize(static_cast<size_t>(width) * height * raster.channels);
  const int channels = raster.channels;
  // Source columns [x0, x1) and rows [y0, y1) of each output pixel; a
  // stretched side repeats its nearest source pixels.
  std::vector<int> x0(width), x1(width);
  for (int x = 0; x < width; ++x) {
    x0[x] = static_cast<int>(static_cast<long long>(x) * raster.width / width);
    x1[x] = std::max(x0[x] + 1, static_cast<int>(static_cast<long long>(x + 1) * raster.width / width));
  }
  std::vector<uint32_t> sums(static_cast<size_t>(width) * channels);
  for (int y = 0; y < height; ++y) {
    const int y0 = static_cast<int>(static_cast<long long>(y) * raster.height / height);
    const int y1 = std::max(y0 + 1, static_cast<int>(static_cast<long long>(y + 1) * raster.height / height));
    std::fill(sums.begin(), sums.end(), 0);
    for (int sy = y0; sy < y1; ++sy) {
      const uint8_t *row = &raster.pixels[static_cast<size_t>(sy) * raster.width * channels];
      for (int x = 0; x < width; ++x)
        for (int sx = x0[x]; sx < x1[x]; ++sx)
          for (int c = 0; c < channels; ++c)
            sums[static_cast<size_t>(x) * channels + c] += row[sx * channels + c];
    }
    uint8_t *out_row = &out.pixels[static_cast<size_t>(y) * width * channels];
    for (int x = 0; x < width; ++x) {
      const uint32_t area = static_cast<uint32_t>((x1[x] - x0[x]) * (y1 - y0));
      for (int c = 0; c < channels; ++c)
        out_row[x * channels + c] =
            static_cast<uint8_t>((sums[static_cast<size_t>(x) * channels + c] + area / 2) / area);
    }
  }
  return out;
}

std::string pixelRefusal(const DeclaredPixels &pixels, std::string *shown) {
  auto refuse = [&](const char *why, std::string reason) {
    if (shown != nullptr) *shown = why;
    return reason;
  };
  if (pixels.rows <= 0 || pixels.columns <= 0)
    return refuse("Plik nie podaje wymiarów obrazu.", "the image declares no rows or columns");
  const double declared = static_cast<double>(pixels.rows) * pixels.columns *
                          std::max(1L, pixels.samplesPerPixel) * std::max(1L, pixels.frames) *
                          pixels.bitsAllocated / 8.0;
  if (!pixels.encapsulated && static_cast<double>(pixels.storedLength) < std::floor(declared))
    return refuse("Plik zawiera mniej danych obrazu, niż zapowiada.",
                  "the pixel data hold " + std::to_string(pixels.storedLength) + " bytes, fewer than the " +
                      std::to_string(static_cast<unsigned long long>(declared)) + " its frames declare");
  if (pixels.rows > INT_MAX || pixels.columns > INT_MAX ||
      !pictureSizeWithinLimits(static_cast<int>(pixels.columns), static_cast<int>(pixels.rows)))
    return refuse("Obraz jest zbyt duży: ponad 64 megapiksele lub ponad 16384 piksele w boku.",
                  "a frame of " + std::to_string(pixels.columns) + " x " + std::to_string(pixels.rows) +
                      " pixels is beyond the largest picture made (64 megapixels, 16384 pixels a side)");
  return "";
}

bool writeJpeg(const std::string &path, const Raster &raster, int quality, std::string *error) {
  std::unique_ptr<void, EncoderDeleter> encoder(tjInitCompress());
  unsigned char *bytes = nullptr;
  unsigned long size = 0;
  const bool grey = raster.channels == 1;
  const int status = encoder ? tjCompress2(encoder.get(), raster.pixels.data(), raster.width, 0,
                                           raster.height, grey ? TJPF_GRAY : TJPF_RGB, &bytes, &size,
                                           grey ? TJSAMP_GRAY : TJSAMP_444, quality, 0)
                             : -1;
  std::unique_ptr<unsigned char, JpegBufferDeleter> owned(bytes);
  if (status != 0) {
    *error = path + ": the picture cannot be encoded (" + tjGetErrorStr2(encoder.get()) + ")";
    return false;
  }
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  bool written = file && std::fwrite(bytes, 1, size, file.get()) == size;
  written = file && std::fclose(file.release()) == 0 && written;
  if (!written) *error = path + ": the picture cannot be written";
  return written;
}

int renderReferencePictures(const std::string &source, long frames, const std::string &folder,
                            int firstNumber, const PictureSettings &settings, std::string *error) {
  int made = 0;
  double windowCenter = 0, windowWidth = 0;
  bool fixedWindow = false;
  long atOnce = settings.framesAtOnce;
  if (atOnce <= 0 && frames > 1) {
    DicomImage first(source.c_str(), CIF_UsePartialAccessToPixelData, 0, 1);
    const double frameBytes = std::max(1.0, static_cast<double>(first.getWidth()) * first.getHeight() * 4);
    atOnce = std::max(1L, static_cast<long>(kBytesAtOnce / frameBytes));
  }
  if (atOnce <= 0) atOnce = 1;
  // Partial access keeps a long loop out of memory, but DCMTK then decodes a
  // compressed frame twice (once for its colour model): one frame is read whole.
  const unsigned long flags = frames > 1 ? CIF_UsePartialAccessToPixelData : 0;
  for (long first = 0; first < std::max(1L, frames); first += atOnce) {
    DicomImage image(source.c_str(), flags, static_cast<unsigned long>(first),
                     static_cast<unsigned long>(atOnce));
    if (image.getStatus() != EIS_Normal) {
      *error = DicomImage::getString(image.getStatus());
      return made;
    }
    // Parts after the first keep the first part's window, so a loop does not flicker.
    if (fixedWindow)
      image.setWindow(windowCenter, windowWidth);
    else
      chooseWindow(image);
    if (image.isMonochrome() && image.getWindowCount() == 0 && image.getVoiLutCount() == 0 &&
        image.getWindow(windowCenter, windowWidth))
      fixedWindow = true;
    const int channels = image.isMonochrome() ? 1 : 3;
    DicomImage *shown = &image;
    std::unique_ptr<DicomImage> scaled;
    const double ratio = image.getHeightWidthRatio() > 0 ? image.getHeightWidthRatio() : 1.0;
    if (static_cast<long long>(image.getWidth()) * image.getHeight() > kScaledByTheToolkit) {
      const Raster size{static_cast<int>(image.getWidth()), static_cast<int>(image.getHeight()), 1, {}};
      const double longer = std::max<double>(size.width, size.height * ratio);
      const double scale = std::min(1.0, settings.maxSide / longer);
      // The window chosen above goes with the image into its scaled copy.
      scaled.reset(image.createScaledImage(
          static_cast<unsigned long>(std::max(1L, std::lround(size.width * scale))),
          static_cast<unsigned long>(std::max(1L, std::lround(size.height * ratio * scale))), 1, 0));
      if (scaled == nullptr || scaled->getStatus() != EIS_Normal) {
        *error = "the frames cannot be scaled down";
        return made;
      }
      shown = scaled.get();
    }
    for (unsigned long f = 0; f < shown->getFrameCount(); ++f) {
      const void *data = shown->getOutputData(8, f, 0);
      if (data == nullptr) {
        *error = "frame " + std::to_string(first + f + 1) + " cannot be rendered";
        return made;
      }
      Raster raster{static_cast<int>(shown->getWidth()), static_cast<int>(shown->getHeight()), channels, {}};
      const uint8_t *bytes = static_cast<const uint8_t *>(data);
      raster.pixels.assign(bytes, bytes + static_cast<size_t>(raster.width) * raster.height * channels);
      const Raster picture = fitRaster(raster, scaled ? 1.0 : image.getHeightWidthRatio(), settings.maxSide);
      const std::string path = folder + "/" + samplemedium::mediaName("IM", firstNumber + made) + ".jpg";
      if (!writeJpeg(path, picture, settings.quality, error)) return made;
      ++made;
    }
  }
  return made;
}

}  // namespace makedisc
