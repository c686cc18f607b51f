// DCMTK's decoders of compressed pixel data (JPEG, JPEG-LS, RLE) and our JPEG
// 2000 codec, registered for as long as an object of this class lives.
#pragma once

#include "imaging/jpeg2000.h"

// Make one before decoding on any thread; they may nest, and the decoders go
// with the last one.
class DicomImageDecoders {
 public:
  DicomImageDecoders();
  ~DicomImageDecoders();
  DicomImageDecoders(const DicomImageDecoders &) = delete;
  DicomImageDecoders &operator=(const DicomImageDecoders &) = delete;

 private:
  Jpeg2000Registration jpeg2000_;
};
