// A DICOM file stream with limits on what one parse may take, whatever the
// file's nesting, length fields or compression: the toolkit's parser cannot be
// told them, so the stream it reads from holds them.
#pragma once

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcerror.h>
#include <dcmtk/dcmdata/dcistrmf.h>

#include <glib.h>

#include <cstddef>

struct DicomReadLimits {
  // Bytes handed to the parser; for a deflated file these are inflated bytes,
  // and a value of a deflated file is read whole whatever its length.
  offile_off_t bytes;
  // Every element costs the parser at least two reads (tag, then length), so
  // this bounds the elements it builds, and the memory they take.
  unsigned long reads;
  // The parser recurses once per nested sequence and item; the stack it has
  // used since the file was opened stands for the nesting depth (some 200
  // levels per 256 KiB in a release build; real files nest a handful).
  std::ptrdiff_t stackGrowth;
  gint64 microseconds;
};

// Stops handing out bytes (end of stream and a bad status, so the parser
// unwinds at once) when a limit is passed or the program is asked to end.
class BoundedDicomStream : public DcmInputFileStream {
 public:
  // `path` in UTF-8; `stackBase` is the frame address of the caller that parses.
  BoundedDicomStream(const char *path, const DicomReadLimits &limits, const char *stackBase);

  // Whether a limit was passed: the file counts as unreadable.
  bool stopped() const { return stopped_; }

  OFBool good() const override { return !stopped_ && DcmInputFileStream::good(); }
  OFCondition status() const override { return stopped_ ? EC_InvalidStream : DcmInputFileStream::status(); }
  OFBool eos() override { return stopped_ || DcmInputFileStream::eos(); }
  offile_off_t avail() override { return stopped_ ? 0 : DcmInputFileStream::avail(); }
  offile_off_t read(void *buffer, offile_off_t length) override;
  // Values above the read length are skipped, in a deflated file too, where
  // the toolkit would otherwise load them whole whatever their length.
  DcmInputStreamFactory *newFactory() const override;
  offile_off_t skip(offile_off_t length) override;

 private:
  bool withinLimits();

  DicomReadLimits limits_;
  const char *stackBase_;
  gint64 deadline_;
  offile_off_t bytes_ = 0;
  unsigned long reads_ = 0;
  bool stopped_ = false;
};
