// Fuzzes the attribute reading of one DICOM file with the catalogue's read
// options: any bytes give at most one record, and every field is valid UTF-8.
#include "catalogue/reference_catalogue.h"
#include "catalogue/study_metadata_reader.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <boost/filesystem.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string scratch;

void removeScratchMedium() {
  boost::system::error_code error;
  boost::filesystem::remove_all(scratch, error);
}

// A medium folder of its own in the temporary folder (scripts/fuzz.sh points
// it into its own folder), removed at exit; returns the path of its one DICOM
// file. The current directory stays as it is: libFuzzer reads the corpus by
// the paths it was given.
const std::string &scratchDicomFile() {
  static std::string file;
  if (!file.empty()) return file;
  std::string pattern = std::string(g_get_tmp_dir()) + "/dicom-fuzz-XXXXXX";
  if (g_mkdtemp(&pattern[0]) == nullptr) std::abort();
  scratch = pattern;
  std::atexit(removeScratchMedium);
  if (g_mkdir_with_parents((scratch + "/DICOM/ST1/SE1").c_str(), 0700) != 0) std::abort();
  file = scratch + "/DICOM/ST1/SE1/IM1";
  return file;
}

bool validUtf8(const std::string &text) { return g_utf8_validate(text.data(), text.size(), nullptr); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string &path = scratchDicomFile();
  FILE *file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  StudyMetadataMap records = readStudyMetadata({{0, {{0, {path}}}}});
  if (records.size() > 1) std::abort();
  for (const auto &study : records)
    for (const auto &series : study.second)
      for (const StudyMetadata &r : series.second)
        if (!validUtf8(r.patientName) || !validUtf8(r.patientId) || !validUtf8(r.modality) ||
            !validUtf8(r.studyDate) || !validUtf8(r.studyDescription) || !validUtf8(r.seriesDescription))
          std::abort();
  return 0;
}
