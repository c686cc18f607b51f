// Picture signatures of the leading bytes of a file.
#include "catalogue/picture_signature.h"

#include "platform/directories.h"

#include <cstring>

namespace {

// Enough for the longest signature below (PNG, RIFF containers, JPEG 2000 box).
const std::size_t kSignatureBytes = 16;

bool startsWith(const unsigned char *bytes, std::size_t n, const char *signature, std::size_t length) {
  return n >= length && std::memcmp(bytes, signature, length) == 0;
}

bool isPortableAnyMap(const unsigned char *bytes, std::size_t n) {
  return n >= 3 && bytes[0] == 'P' && bytes[1] >= '1' && bytes[1] <= '7' &&
         (bytes[2] == ' ' || bytes[2] == '\t' || bytes[2] == '\n' || bytes[2] == '\r');
}

bool isOtherRaster(const unsigned char *bytes, std::size_t n) {
  static const char kIcon[] = {0, 0, 1, 0};
  static const char kCursor[] = {0, 0, 2, 0};
  static const char kJpeg2000Box[] = {0, 0, 0, 12, 'j', 'P', ' ', ' '};
  static const char kJpeg2000Stream[] = {'\xFF', '\x4F', '\xFF', '\x51'};
  bool riff = startsWith(bytes, n, "RIFF", 4) && n >= 12;
  return startsWith(bytes, n, kIcon, sizeof kIcon) || startsWith(bytes, n, kCursor, sizeof kCursor) ||
         startsWith(bytes, n, kJpeg2000Box, sizeof kJpeg2000Box) ||
         startsWith(bytes, n, kJpeg2000Stream, sizeof kJpeg2000Stream) ||
         (riff && std::memcmp(bytes + 8, "WEBP", 4) == 0) || startsWith(bytes, n, "icns", 4) ||
         isPortableAnyMap(bytes, n);
}

}  // namespace

PictureKind pictureKindOf(const unsigned char *bytes, std::size_t n) {
  static const char kJpeg[] = {'\xFF', '\xD8', '\xFF'};
  static const char kPng[] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1A', '\n'};
  static const char kTiffLittle[] = {'I', 'I', '*', 0};
  static const char kTiffBig[] = {'M', 'M', 0, '*'};
  if (bytes == nullptr) return PictureKind::None;
  if (startsWith(bytes, n, kJpeg, sizeof kJpeg)) return PictureKind::Jpeg;
  if (startsWith(bytes, n, kPng, sizeof kPng)) return PictureKind::Png;
  if (startsWith(bytes, n, "GIF87a", 6) || startsWith(bytes, n, "GIF89a", 6)) return PictureKind::Gif;
  // "BM" alone is too common a start of text; the header's reserved words are zero.
  if (startsWith(bytes, n, "BM", 2) && n >= 10 && bytes[6] == 0 && bytes[7] == 0 && bytes[8] == 0 &&
      bytes[9] == 0)
    return PictureKind::Bmp;
  if (startsWith(bytes, n, kTiffLittle, sizeof kTiffLittle) ||
      startsWith(bytes, n, kTiffBig, sizeof kTiffBig))
    return PictureKind::Tiff;
  return isOtherRaster(bytes, n) ? PictureKind::Other : PictureKind::None;
}

PictureSignatureRead readPictureSignature(const std::string &path) {
  PictureSignatureRead result;
  unsigned char bytes[kSignatureBytes];
  std::size_t got = 0;
  result.error = platform::readLeadingBytes(path, bytes, sizeof bytes, got);
  if (result.error == 0) result.kind = pictureKindOf(bytes, got);
  return result;
}

const char *pictureKindName(PictureKind kind) {
  switch (kind) {
    case PictureKind::Jpeg:
      return "JPEG";
    case PictureKind::Png:
      return "PNG";
    case PictureKind::Gif:
      return "GIF";
    case PictureKind::Bmp:
      return "BMP";
    case PictureKind::Tiff:
      return "TIFF";
    case PictureKind::Other:
      return "other raster";
    case PictureKind::None:
      break;
  }
  return "no picture signature";
}
