// Picture files made in memory for tests.
#include "support/picture_bytes.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <jpeglib.h>
#include <cstdio>
#include <memory>
#include <vector>

namespace testsupport {

namespace {

std::vector<unsigned char> pattern(int width, int height) {
  std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      unsigned char *p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<unsigned char>(x ^ y);
      p[1] = static_cast<unsigned char>((x * y) >> 5);
      p[2] = static_cast<unsigned char>((x * 7 + y * 3) & 0xff);
    }
  return pixels;
}

uint32_t crc32(const std::string &bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::string bigEndian(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
          static_cast<char>(value)};
}

std::string pngChunk(const std::string &type, const std::string &data) {
  std::string typed = type + data;
  return bigEndian(static_cast<uint32_t>(data.size())) + typed + bigEndian(crc32(typed));
}

// Offset of the first marker `code` (0xFF code) after the SOI.
size_t markerAt(const std::string &jpeg, unsigned char code) {
  for (size_t at = 2; at + 4 <= jpeg.size();) {
    unsigned char marker = static_cast<unsigned char>(jpeg[at + 1]);
    if (marker == code) return at;
    at += 2 + ((static_cast<unsigned char>(jpeg[at + 2]) << 8) | static_cast<unsigned char>(jpeg[at + 3]));
  }
  return std::string::npos;
}

}  // namespace

std::string jpegBytes(int width, int height, bool progressive) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char *buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 85, TRUE);
  if (progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  std::vector<unsigned char> pixels = pattern(width, height);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = &pixels[static_cast<size_t>(info.next_scanline) * width * 3];
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string bytes(reinterpret_cast<char *>(buffer), size);
  std::free(buffer);
  return bytes;
}

std::string pngBytes(int width, int height) {
  std::vector<unsigned char> pixels = pattern(width, height);
  std::unique_ptr<GdkPixbuf, decltype(&g_object_unref)> picture(
      gdk_pixbuf_new_from_data(pixels.data(), GDK_COLORSPACE_RGB, FALSE, 8, width, height, width * 3, nullptr,
                               nullptr),
      g_object_unref);
  gchar *buffer = nullptr;
  gsize size = 0;
  gdk_pixbuf_save_to_buffer(picture.get(), &buffer, &size, "png", nullptr, nullptr);
  std::string bytes(buffer, size);
  g_free(buffer);
  return bytes;
}

std::string svgBytes() {
  std::string svg =
      "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100000\" "
      "height=\"100000\">\n"
      "<defs><filter id=\"f\"><feGaussianBlur stdDeviation=\"900\"/></filter>\n"
      "<pattern id=\"p\" width=\"1\" height=\"1\" patternUnits=\"userSpaceOnUse\">"
      "<rect width=\"1\" height=\"1\" filter=\"url(#f)\"/></pattern></defs>\n";
  while (svg.size() < 560) svg += "<rect width=\"100%\" height=\"100%\" fill=\"url(#p)\"/>\n";
  return svg + "</svg>\n";
}

std::string jpegOfEmptyScans(int width, int height, int scans) {
  std::string sound = jpegBytes(width, height, true);
  size_t firstScan = markerAt(sound, 0xDA);
  size_t length = (static_cast<unsigned char>(sound[firstScan + 2]) << 8) |
                  static_cast<unsigned char>(sound[firstScan + 3]);
  std::string header = sound.substr(firstScan, 2 + length);
  std::string bytes = sound.substr(0, firstScan);
  for (int i = 0; i < scans; ++i) bytes += header;
  return bytes + "\xFF\xD9";
}

std::string jpegDeclaring(uint16_t width, uint16_t height) {
  std::string bytes = jpegBytes(16, 16, false);
  size_t frame = markerAt(bytes, 0xC0);
  bytes[frame + 5] = static_cast<char>(height >> 8);
  bytes[frame + 6] = static_cast<char>(height & 0xff);
  bytes[frame + 7] = static_cast<char>(width >> 8);
  bytes[frame + 8] = static_cast<char>(width & 0xff);
  return bytes;
}

std::string pngDeclaring(uint32_t width, uint32_t height) {
  return std::string("\x89PNG\r\n\x1a\n", 8) +
         pngChunk("IHDR", bigEndian(width) + bigEndian(height) + std::string("\x08\x06\x00\x00\x00", 5)) +
         pngChunk("IDAT", std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) + pngChunk("IEND", "");
}

}  // namespace testsupport
