// DICOM text in the character sets of Specific Character Set (0008,0005),
// ISO 2022 code extensions included, turned into UTF-8 with the C library's
// iconv: for the sets the DICOM toolkit cannot convert on this system.
#pragma once

#include <memory>
#include <optional>
#include <string>

// `value` in UTF-8, read as `characterSet` (the attribute's value, its terms
// separated by backslashes; a leading empty term is the default repertoire).
// Escape sequences switch sets as ISO 2022 says, and every delimiter in
// `delimiters` (a person name's "^" and "=", the value separator "\") and
// every control character returns to the first term's sets, as the standard
// has encoders do. Bytes that the sets do not explain are left for the caller
// to repair. Nothing when a term is not one the standard defines.
std::optional<std::string> decodeDicomText(const std::string &characterSet, const std::string &value,
                                           const char *delimiters);

// A decoded person name as a line of text shows it: its components' "^" as
// blanks, no blanks at its end.
std::string readablePersonName(std::string name);

class DcmDataset;
class DcmTagKey;

// Whether the attribute `tag` of `dataset` is present with a value of at most
// `maxLength` bytes. The toolkit would fetch a longer value left in the file
// when asked for it; megabytes of a damaged or hostile file would make every
// label and line that shows it crawl.
bool valueWithinLength(DcmDataset &dataset, const DcmTagKey &tag, unsigned long maxLength);

// Turns the values of one file after another into UTF-8 from the file's
// Specific Character Set: the one decoder of DICOM text in the program. The
// conversion of the last set used is kept, since the files of one medium
// nearly always share it. One object per thread.
class DicomTextDecoder {
 public:
  DicomTextDecoder();
  ~DicomTextDecoder();
  DicomTextDecoder(const DicomTextDecoder &) = delete;
  DicomTextDecoder &operator=(const DicomTextDecoder &) = delete;

  // Takes the character set of the next file's dataset.
  void selectFor(DcmDataset &dataset);
  // Takes `characterSet`, a Specific Character Set value read elsewhere.
  void select(const std::string &characterSet);

  // `value` in UTF-8; bytes the declared set does not explain (or an
  // undeclared or unknown set) are replaced, the rest of the value kept.
  // `delimiters` as for decodeDicomText.
  std::string decode(const char *value, const char *delimiters);

  // A Person Name value decoded and made readable as readablePersonName does.
  std::string decodePersonName(const char *value);

 private:
  struct State;
  std::unique_ptr<State> state_;
};
