// The bounded DICOM file stream.
#include "catalogue/bounded_dicom_stream.h"

#include "base/quit_request.h"

#include <algorithm>

BoundedDicomStream::BoundedDicomStream(const char *path, const DicomReadLimits &limits, const char *stackBase)
    // Converted from UTF-8: on Windows the file is opened by its wide name.
    : DcmInputFileStream(OFFilename(path, OFTrue)),
      limits_(limits),
      stackBase_(stackBase),
      deadline_(g_get_monotonic_time() + limits.microseconds) {}

offile_off_t BoundedDicomStream::read(void *buffer, offile_off_t length) {
  if (!withinLimits()) return 0;
  offile_off_t allowed = std::min(length, limits_.bytes - bytes_);
  offile_off_t got = DcmInputFileStream::read(buffer, allowed);
  bytes_ += got;
  if (got < length && bytes_ >= limits_.bytes) stopped_ = true;
  return got;
}

// A value skipped at the read length is not fetched again by our readers;
// should the toolkit ask for it without a file behind the factory, it finds it
// empty.
DcmInputStreamFactory *BoundedDicomStream::newFactory() const {
  DcmInputStreamFactory *factory = DcmInputFileStream::newFactory();
  return factory != nullptr ? factory : new DcmInputFileStreamFactory("/dev/null", 0);
}

// In pieces: skipping in a deflated file inflates everything skipped.
offile_off_t BoundedDicomStream::skip(offile_off_t length) {
  offile_off_t skipped = 0;
  while (skipped < length && withinLimits()) {
    offile_off_t piece = DcmInputFileStream::skip(std::min<offile_off_t>(length - skipped, 1 << 20));
    if (piece <= 0) break;
    skipped += piece;
  }
  return skipped;
}

bool BoundedDicomStream::withinLimits() {
  const char *stack = static_cast<const char *>(__builtin_frame_address(0));
  // The clock is read at every 64th read: a DICOMDIR of thousands of records
  // takes hundreds of thousands of small reads, and between two looks at the
  // clock the parser does little.
  if (!stopped_ && (++reads_ > limits_.reads || stackBase_ - stack > limits_.stackGrowth ||
                    ((reads_ & 63) == 1 && g_get_monotonic_time() > deadline_) || quitRequested()))
    stopped_ = true;
  return !stopped_;
}
