// Registration of the pixel-data decoders, counted so that holders may nest.
#include "imaging/dicom_decoders.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcrledrg.h>
#include <dcmtk/dcmjpeg/djdecode.h>
#include <dcmtk/dcmjpls/djdecode.h>

#include <mutex>

namespace {
// DCMTK's decoder registry is process-wide, so is the count of its holders.
struct DecoderRegistration {
  std::mutex lock;
  int holders = 0;  // DicomImageDecoders alive
};
DecoderRegistration registration;
}  // namespace

DicomImageDecoders::DicomImageDecoders() {
  std::lock_guard<std::mutex> hold(registration.lock);
  if (registration.holders++ > 0) return;
  DJDecoderRegistration::registerCodecs();
  DJLSDecoderRegistration::registerCodecs();
  DcmRLEDecoderRegistration::registerCodecs();
}

DicomImageDecoders::~DicomImageDecoders() {
  std::lock_guard<std::mutex> hold(registration.lock);
  if (--registration.holders > 0) return;
  DcmRLEDecoderRegistration::cleanup();
  DJLSDecoderRegistration::cleanup();
  DJDecoderRegistration::cleanup();
}
