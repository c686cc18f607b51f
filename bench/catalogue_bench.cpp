// Time of the DICOM side of the catalogue (directory scan and attribute
// reading) on a medium of 1,000 series, beside the floor set by DCMTK itself:
// the same loadFile and six findAndGetString calls on the same files. The
// argument is the number of images per series: 1, or 20 as on a real disc,
// where listing the series folders is work the floor does not include.
#include "catalogue/directory_scan.h"
#include "catalogue/reference_catalogue.h"
#include "catalogue/study_metadata_reader.h"

#include <benchmark/benchmark.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <glib.h>
#include <boost/filesystem.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace fs = boost::filesystem;

namespace {

constexpr int studyCount = 50;
constexpr int seriesPerStudy = 20;
constexpr int longSeries = 20;
constexpr int pixelSide = 512;

std::string latin2(const std::string &utf8) {
  gsize written = 0;
  std::unique_ptr<gchar, decltype(&g_free)> bytes(
      g_convert(utf8.data(), -1, "ISO-8859-2", "UTF-8", nullptr, &written, nullptr), g_free);
  return bytes ? std::string(bytes.get(), written) : utf8;
}

std::string numbered(const char *prefix, int number) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%06d", prefix, number);
  return name;
}

// A CT slice as Polish equipment writes it: Latin-2 texts, 512 x 512 16-bit pixels.
void writeSlice(const fs::path &file, int study, int series, const std::vector<Uint16> &pixels) {
  DcmFileFormat format;
  DcmDataset *dataset = format.getDataset();
  char uid[100];
  dataset->putAndInsertString(DCM_SpecificCharacterSet, "ISO_IR 101");
  dataset->putAndInsertString(DCM_SOPClassUID, UID_CTImageStorage);
  dataset->putAndInsertString(DCM_SOPInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT));
  dataset->putAndInsertString(DCM_StudyDate, "20240315");
  dataset->putAndInsertString(DCM_StudyTime, "101502");
  dataset->putAndInsertString(DCM_Modality, "CT");
  dataset->putAndInsertString(DCM_Manufacturer, "Producent");
  dataset->putAndInsertString(DCM_InstitutionName, latin2("Szpital Wojewódzki w Łodzi").c_str());
  dataset->putAndInsertString(DCM_StudyDescription,
                              latin2("Tomografia głowy " + std::to_string(study)).c_str());
  dataset->putAndInsertString(DCM_SeriesDescription,
                              latin2("Seria osiowa " + std::to_string(series)).c_str());
  dataset->putAndInsertString(DCM_PatientName, latin2("Wąsowicz^Łucja").c_str());
  dataset->putAndInsertString(DCM_PatientID, "80010112345");
  dataset->putAndInsertString(DCM_PatientBirthDate, "19800101");
  dataset->putAndInsertString(DCM_PatientSex, "F");
  dataset->putAndInsertString(DCM_SliceThickness, "5");
  dataset->putAndInsertString(DCM_StudyInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_STUDY_UID_ROOT));
  dataset->putAndInsertString(DCM_SeriesInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_SERIES_UID_ROOT));
  dataset->putAndInsertString(DCM_SeriesNumber, std::to_string(series + 1).c_str());
  dataset->putAndInsertString(DCM_InstanceNumber, "1");
  dataset->putAndInsertString(DCM_ImagePositionPatient, "-250\\-250\\0");
  dataset->putAndInsertString(DCM_ImageOrientationPatient, "1\\0\\0\\0\\1\\0");
  dataset->putAndInsertUint16(DCM_SamplesPerPixel, 1);
  dataset->putAndInsertString(DCM_PhotometricInterpretation, "MONOCHROME2");
  dataset->putAndInsertUint16(DCM_Rows, pixelSide);
  dataset->putAndInsertUint16(DCM_Columns, pixelSide);
  dataset->putAndInsertString(DCM_PixelSpacing, "0.48828125\\0.48828125");
  dataset->putAndInsertUint16(DCM_BitsAllocated, 16);
  dataset->putAndInsertUint16(DCM_BitsStored, 12);
  dataset->putAndInsertUint16(DCM_HighBit, 11);
  dataset->putAndInsertUint16(DCM_PixelRepresentation, 0);
  dataset->putAndInsertString(DCM_WindowCenter, "40");
  dataset->putAndInsertString(DCM_WindowWidth, "400");
  dataset->putAndInsertString(DCM_RescaleIntercept, "-1024");
  dataset->putAndInsertString(DCM_RescaleSlope, "1");
  dataset->putAndInsertUint16Array(DCM_PixelData, pixels.data(), static_cast<unsigned long>(pixels.size()));
  format.saveFile(file.c_str(), EXS_LittleEndianExplicit);
}

// Two media side by side, "1/DICOM" with one slice per series and "20/DICOM"
// with twenty images per series. The images are hard links to the slices of
// the first, so both read the same 1,000 files of 512 KiB while directory
// listings are as long as on a real disc.
class BenchMedium {
 public:
  BenchMedium() {
    gchar *made = g_dir_make_tmp("catalogue-bench-XXXXXX", nullptr);
    if (made == nullptr) return;
    root_ = made;
    g_free(made);
    std::vector<Uint16> pixels(static_cast<size_t>(pixelSide) * pixelSide);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<Uint16>((i * 7) % 4096);
    for (int study = 0; study < studyCount; ++study)
      for (int series = 0; series < seriesPerStudy; ++series) {
        fs::path relative = fs::path("DICOM") / numbered("ST", study) / numbered("SE", series);
        fs::create_directories(root_ / "1" / relative);
        fs::create_directories(root_ / "20" / relative);
        fs::path slice = root_ / "1" / relative / numbered("IM", 1);
        writeSlice(slice, study, series, pixels);
        for (int image = 1; image <= longSeries; ++image)
          fs::create_hard_link(slice, root_ / "20" / relative / numbered("IM", image));
      }
    previous_ = fs::current_path();
  }
  ~BenchMedium() {
    if (root_.empty()) return;
    boost::system::error_code error;
    fs::current_path(previous_, error);
    fs::remove_all(root_, error);
  }
  bool ready() const { return !root_.empty(); }
  // Makes the medium with `imagesPerSeries` the current directory, as the navigator runs.
  void enter(int64_t imagesPerSeries) const { fs::current_path(root_ / std::to_string(imagesPerSeries)); }

 private:
  fs::path root_;
  fs::path previous_;
};

const BenchMedium *medium = nullptr;

// The least any reader of these files must do: DCMTK's own calls and nothing else.
int readWithBareDcmtk(const std::vector<std::string> &paths) {
  static const DcmTagKey tags[] = {DCM_StudyDescription, DCM_SeriesDescription, DCM_Modality,
                                   DCM_PatientName,      DCM_PatientID,         DCM_StudyDate};
  DcmFileFormat format;
  int found = 0;
  for (const std::string &path : paths) {
    if (format.loadFile(path.c_str(), EXS_Unknown, EGL_noChange, 4096, ERM_autoDetect).bad()) break;
    for (const DcmTagKey &tag : tags) {
      const char *value = nullptr;
      if (format.getDataset()->findAndGetString(tag, value, OFFalse).good() && value != nullptr) ++found;
      benchmark::DoNotOptimize(value);
    }
  }
  return found;
}

size_t readWithCatalogue() {
  DicomFileMap files = scanDicomTree(fs::absolute("DICOM"));
  StudyMetadataMap records = readStudyMetadata(files);
  size_t series = 0;
  for (const auto &study : records) series += study.second.size();
  return series;
}

std::vector<std::string> scannedPaths() {
  std::vector<std::string> paths;
  for (const auto &study : scanDicomTree(fs::absolute("DICOM")))
    for (const auto &series : study.second)
      paths.insert(paths.end(), series.second.begin(), series.second.end());
  return paths;
}

double wallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Processor time of this thread, in the kernel included: what the shared
// machine's other load does not distort.
double cpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void ScanDicomTree(benchmark::State &state) {
  medium->enter(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(scanDicomTree(fs::absolute("DICOM")));
}

void BareDcmtkFloor(benchmark::State &state) {
  medium->enter(state.range(0));
  std::vector<std::string> paths = scannedPaths();
  for (auto _ : state) benchmark::DoNotOptimize(readWithBareDcmtk(paths));
  state.counters["files"] = static_cast<double>(paths.size());
}

// Both readers in turn on every iteration, alternating which goes first, so
// that the load of the shared machine falls on both alike. `ratio` compares
// the medians of processor time, `wall_ratio` those of elapsed time.
void CatalogueAgainstFloor(benchmark::State &state) {
  medium->enter(state.range(0));
  std::vector<std::string> paths = scannedPaths();
  const DicomFileMap scanned = scanDicomTree(fs::absolute("DICOM"));
  std::vector<double> catalogueCpu, floorCpu, catalogueWall, floorWall, readingCpu;
  size_t series = 0;
  bool catalogueFirst = false;
  auto timeCatalogue = [&] {
    double wall = wallSeconds(), cpu = cpuSeconds();
    series = readWithCatalogue();
    catalogueCpu.push_back(cpuSeconds() - cpu);
    catalogueWall.push_back(wallSeconds() - wall);
  };
  for (auto _ : state) {
    if (catalogueFirst) timeCatalogue();
    double wall = wallSeconds(), cpu = cpuSeconds();
    benchmark::DoNotOptimize(readWithBareDcmtk(paths));
    floorCpu.push_back(cpuSeconds() - cpu);
    floorWall.push_back(wallSeconds() - wall);
    if (!catalogueFirst) timeCatalogue();
    cpu = cpuSeconds();
    benchmark::DoNotOptimize(readStudyMetadata(scanned));
    readingCpu.push_back(cpuSeconds() - cpu);
    state.SetIterationTime(catalogueWall.back());
    catalogueFirst = !catalogueFirst;
  }
  state.counters["series"] = static_cast<double>(series);
  state.counters["catalogue_cpu_ms"] = median(catalogueCpu) * 1e3;
  state.counters["floor_cpu_ms"] = median(floorCpu) * 1e3;
  state.counters["ratio"] = median(catalogueCpu) / median(floorCpu);
  state.counters["wall_ratio"] = median(catalogueWall) / median(floorWall);
  // The attribute reading alone, on the index scanned once before.
  state.counters["reading_ratio"] = median(readingCpu) / median(floorCpu);
}

}  // namespace

BENCHMARK(ScanDicomTree)->Arg(1)->Arg(longSeries)->Unit(benchmark::kMillisecond);
BENCHMARK(BareDcmtkFloor)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(CatalogueAgainstFloor)
    ->Arg(1)
    ->Arg(longSeries)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(40);

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  BenchMedium made;
  if (!made.ready()) return 1;
  medium = &made;
  made.enter(1);
  readWithCatalogue();  // warm the page cache for both readers
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
