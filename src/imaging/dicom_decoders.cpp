// Registration of the pixel-data decoders, counted so that holders may nest.
#include "imaging/dicom_decoders.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcrledrg.h>
#include <dcmtk/dcmjpeg/djdecode.h>
#include <dcmtk/dcmjpls/djdecode.h>

#include <mutex>

namespace {
std::mutex registrationLock;
int registrations = 0;  // DicomImageDecoders alive
}  // namespace

DicomImageDecoders::DicomImageDecoders() {
  std::lock_guard<std::mutex> hold(registrationLock);
  if (registrations++ > 0) return;
  DJDecoderRegistration::registerCodecs();
  DJLSDecoderRegistration::registerCodecs();
  DcmRLEDecoderRegistration::registerCodecs();
}

DicomImageDecoders::~DicomImageDecoders() {
  std::lock_guard<std::mutex> hold(registrationLock);
  if (--registrations > 0) return;
  DcmRLEDecoderRegistration::cleanup();
  DJLSDecoderRegistration::cleanup();
  DJDecoderRegistration::cleanup();
}
