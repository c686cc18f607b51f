// The DICOMDIR of one long series: time per file at 10,000 images against
// 1,000 (the target is at most 1.5 times), both timed in turn in one run.
// The images are 8 x 8: the DICOMDIR reads no pixels, only the files'
// attributes, so their size does not change its work.
#include "dicom_directory.h"

#include <benchmark/benchmark.h>
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/oflog/oflog.h>
#include <glib.h>
#include <boost/filesystem.hpp>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

namespace fs = boost::filesystem;

namespace {

struct Series {
  std::string root;
  std::vector<makedisc::DirectoryFile> files;
};

// `count` images of one series under a new folder, as a disc names them.
Series makeSeries(int count) {
  Series made;
  std::unique_ptr<gchar, decltype(&g_free)> folder(g_dir_make_tmp("bench-dicomdir-XXXXXX", nullptr), g_free);
  made.root = folder ? folder.get() : "";
  if (made.root.empty()) return made;
  fs::create_directories(made.root + "/DICOM/ST000001/SE000001");
  const Uint8 pixels[64] = {};
  for (int i = 1; i <= count; ++i) {
    DcmFileFormat file;
    DcmDataset *d = file.getDataset();
    char uid[100], name[48];
    for (const auto &value :
         std::map<DcmTagKey, std::string>{{DCM_SOPClassUID, UID_CTImageStorage},
                                          {DCM_SOPInstanceUID, dcmGenerateUniqueIdentifier(uid)},
                                          {DCM_PatientID, "80010112345"},
                                          {DCM_PatientName, "Kowalski^Jan"},
                                          {DCM_StudyInstanceUID, "1.2.826.0.1.1"},
                                          {DCM_StudyDate, "20240102"},
                                          {DCM_StudyTime, "101500"},
                                          {DCM_StudyID, "1"},
                                          {DCM_SeriesInstanceUID, "1.2.826.0.1.1.1"},
                                          {DCM_SeriesNumber, "1"},
                                          {DCM_Modality, "CT"},
                                          {DCM_InstanceNumber, std::to_string(i)},
                                          {DCM_ImageType, "ORIGINAL\\PRIMARY\\AXIAL"},
                                          {DCM_PhotometricInterpretation, "MONOCHROME2"}})
      d->putAndInsertString(value.first, value.second.c_str());
    for (const DcmTagKey &tag : {DCM_Rows, DCM_Columns}) d->putAndInsertUint16(tag, 8);
    for (const DcmTagKey &tag : {DCM_BitsAllocated, DCM_BitsStored}) d->putAndInsertUint16(tag, 8);
    d->putAndInsertUint16(DCM_HighBit, 7);
    d->putAndInsertUint16(DCM_SamplesPerPixel, 1);
    d->putAndInsertUint16(DCM_PixelRepresentation, 0);
    d->putAndInsertUint8Array(DCM_PixelData, pixels, sizeof pixels);
    std::snprintf(name, sizeof name, "DICOM/ST000001/SE000001/IM%06d", i);
    if (file.saveFile((made.root + "/" + name).c_str(), EXS_LittleEndianExplicit).bad()) {
      made.files.clear();
      return made;
    }
    made.files.push_back({name, true, true});
  }
  return made;
}

std::map<int, Series> &allSeries() {
  static std::map<int, Series> made;
  return made;
}

const Series &seriesOf(int count) {
  auto found = allSeries().find(count);
  if (found == allSeries().end()) found = allSeries().emplace(count, makeSeries(count)).first;
  return found->second;
}

// Seconds of one DICOMDIR of the series.
double directorySeconds(const Series &series, std::string *error) {
  fs::remove(series.root + "/DICOMDIR");
  std::vector<std::string> refused;
  const gint64 start = g_get_monotonic_time();
  if (!makedisc::writeDicomDirectory(series.root, series.files,
                                     makedisc::chooseProfile({UID_LittleEndianExplicitTransferSyntax}),
                                     "BENCH", &refused, error))
    return 0;
  if (!refused.empty()) *error = refused.front();
  return static_cast<double>(g_get_monotonic_time() - start) / 1e6;
}

void directoryOfOneSeries(benchmark::State &state) {
  const Series &series = seriesOf(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::string error;
    directorySeconds(series, &error);
    if (!error.empty()) state.SkipWithError(error.c_str());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * series.files.size()));
}

// 10,000 and 1,000 in turn; reported: the median of the per-file ratios.
void perFileAtTenThousandOverOneThousand(benchmark::State &state) {
  const Series &small = seriesOf(1000), &large = seriesOf(10000);
  std::vector<double> ratios;
  for (auto _ : state) {
    std::string error;
    const double one = directorySeconds(small, &error) / 1000;
    const double ten = directorySeconds(large, &error) / 10000;
    if (!error.empty()) state.SkipWithError(error.c_str());
    if (one > 0) ratios.push_back(ten / one);
  }
  std::sort(ratios.begin(), ratios.end());
  state.counters["per_file_ratio"] = ratios.empty() ? 0 : ratios[ratios.size() / 2];
}

}  // namespace

BENCHMARK(directoryOfOneSeries)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(perFileAtTenThousandOverOneThousand)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  // As make-disc runs it: DCMTK says only what it refuses.
  OFLog::configure(OFLogger::ERROR_LOG_LEVEL);
  benchmark::RunSpecifiedBenchmarks();
  boost::system::error_code failure;
  for (const auto &made : allSeries())
    if (!made.second.root.empty()) fs::remove_all(made.second.root, failure);
  return 0;
}
