// JPEG 2000 through OpenJPEG, wrapped once for every program that reads DICOM
// images: a plain decoder of one code stream, and a DCMTK codec over it for the
// two JPEG 2000 transfer syntaxes, which Debian's DCMTK does not decode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct Jpeg2000Image {
  int width = 0;
  int height = 0;
  int components = 0;
  int precision = 0;  // bits per sample
  bool isSigned = false;
  // Component after component, row after row; values as coded.
  std::vector<int32_t> samples;
};

// The largest image decoded: the code stream can declare any size, and
// OpenJPEG would set out to allocate it.
constexpr long long kLargestJpeg2000Samples = 256LL * 1024 * 1024;

// Decodes a JPEG 2000 code stream (J2K) or file (JP2) from `bytes`. False with
// `error` set (a Polish line) when it cannot be decoded, is larger than the
// limit above, or has subsampled components.
bool decodeJpeg2000(const uint8_t *bytes, size_t length, Jpeg2000Image &image, std::string &error);

// Why the DCMTK codec below could not decode the last frame it was given on
// this thread (a Polish line), cleared by the call; empty when it decoded
// every frame since the last call. DCMTK passes on no more than a status.
std::string takeJpeg2000Failure();

// Registers the DCMTK codec for as long as it lives (nesting: the codec goes
// with the last one). Use DicomImageDecoders rather than this alone.
class Jpeg2000Registration {
 public:
  Jpeg2000Registration();
  ~Jpeg2000Registration();
  Jpeg2000Registration(const Jpeg2000Registration &) = delete;
  Jpeg2000Registration &operator=(const Jpeg2000Registration &) = delete;
};
