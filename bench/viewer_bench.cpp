// The diagnostic viewer against bare DCMTK loops, in one run:
//   first image: opening a DICOMDIR of 2,000 images and rendering the first
//     series' middle image, against DcmDicomDir + DicomImage + getOutputData;
//   scroll step: one 512² CT frame decoded and rendered, against DicomImage +
//     setWindow + getOutputData of the same file; and a step to a frame the
//     cache decoded ahead;
//   linked scrolling: a step of two 512² series against a step of one;
//   window redraw at 512² and 4096²: the output lookup only;
//   1,000 slices stepped through with the frames decoded ahead on the workers;
//   a 5,000-slice series scrolled end to end in a child process whose address
//     space is limited to 2 GiB.
// Run: build/bench/viewer_bench (no display needed).
#include "imaging/dicom_decoders.h"
#include "imaging/display_mapping.h"
#include "imaging/examination.h"
#include "imaging/frame_cache.h"
#include "imaging/slice_linking.h"

#include <benchmark/benchmark.h>
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcdicdir.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcrleerg.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmimgle/dcmimage.h>
#include <dcmtk/dcmjpeg/djencode.h>
#include <dcmtk/oflog/oflog.h>
#include <glib.h>
#include <boost/filesystem.hpp>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

namespace fs = boost::filesystem;

const fs::path &workFolder() {
  static const fs::path folder = [] {
    fs::path made = fs::temp_directory_path() / fs::unique_path("viewer-bench-%%%%%%");
    fs::create_directories(made);
    return made;
  }();
  return folder;
}

// A CT slice of `side`² with some structure, written uncompressed or as RLE.
void writeSlice(const fs::path &path, int side, int instance, const std::string &series,
                E_TransferSyntax syntax = EXS_LittleEndianExplicit, double height = std::nan("")) {
  fs::create_directories(path.parent_path());
  DcmFileFormat file;
  DcmDataset *d = file.getDataset();
  char uid[100];
  d->putAndInsertString(DCM_SOPClassUID, UID_CTImageStorage);
  d->putAndInsertString(DCM_SOPInstanceUID, dcmGenerateUniqueIdentifier(uid));
  d->putAndInsertString(DCM_StudyInstanceUID, "1.2.3");
  d->putAndInsertString(DCM_SeriesInstanceUID, series.c_str());
  d->putAndInsertString(DCM_Modality, "CT");
  d->putAndInsertString(DCM_PatientName, "Test^Pacjent");
  d->putAndInsertString(DCM_PatientID, "B1");
  d->putAndInsertString(DCM_InstanceNumber, std::to_string(instance).c_str());
  if (!std::isnan(height)) {  // an axial slice in the frame of reference all such slices share
    d->putAndInsertString(DCM_FrameOfReferenceUID, "1.2.3.9");
    d->putAndInsertString(DCM_ImagePositionPatient, ("-128\\-128\\" + std::to_string(height)).c_str());
    d->putAndInsertString(DCM_ImageOrientationPatient, "1\\0\\0\\0\\1\\0");
  }
  d->putAndInsertUint16(DCM_SamplesPerPixel, 1);
  d->putAndInsertString(DCM_PhotometricInterpretation, "MONOCHROME2");
  d->putAndInsertUint16(DCM_Rows, static_cast<Uint16>(side));
  d->putAndInsertUint16(DCM_Columns, static_cast<Uint16>(side));
  d->putAndInsertUint16(DCM_BitsAllocated, 16);
  d->putAndInsertUint16(DCM_BitsStored, 12);
  d->putAndInsertUint16(DCM_HighBit, 11);
  d->putAndInsertUint16(DCM_PixelRepresentation, 0);
  d->putAndInsertString(DCM_RescaleIntercept, "-1024");
  d->putAndInsertString(DCM_RescaleSlope, "1");
  d->putAndInsertString(DCM_WindowCenter, "40");
  d->putAndInsertString(DCM_WindowWidth, "400");
  std::vector<Uint16> pixels(static_cast<size_t>(side) * side);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      const int dx = x - side / 2, dy = y - side / 2;
      pixels[static_cast<size_t>(y) * side + x] =
          static_cast<Uint16>(dx * dx + dy * dy < side * side / 9 ? 1064 + (x * 3 + y) % 40 : 24);
    }
  d->putAndInsertUint16Array(DCM_PixelData, pixels.data(), static_cast<unsigned long>(pixels.size()));
  static const bool encoders = [] {
    DJEncoderRegistration::registerCodecs();
    DcmRLEEncoderRegistration::registerCodecs();
    return true;
  }();
  (void)encoders;
  if (syntax != EXS_LittleEndianExplicit) d->chooseRepresentation(syntax, nullptr);
  file.saveFile(path.c_str(), syntax);
}

// A medium of 2,000 images in 4 series, under DICOM/, and its DICOMDIR. The
// first series' middle image is 512²; the rest are small, as the DICOMDIR's
// size, not theirs, is measured.
fs::path largeDicomdir() {
  static const fs::path directory = [] {
    const fs::path root = workFolder() / "medium";
    DcmDicomDir dicomdir((root / "DICOMDIR").c_str(), "VELMORA");
    DcmDirectoryRecord *root_record = &dicomdir.getRootRecord();
    auto *patient = new DcmDirectoryRecord(ERT_Patient, nullptr, nullptr);
    patient->putAndInsertString(DCM_PatientName, "Test^Pacjent");
    patient->putAndInsertString(DCM_PatientID, "B1");
    root_record->insertSub(patient);
    auto *study = new DcmDirectoryRecord(ERT_Study, nullptr, nullptr);
    study->putAndInsertString(DCM_StudyInstanceUID, "1.2.3");
    patient->insertSub(study);
    for (int s = 0; s < 4; ++s) {
      auto *series = new DcmDirectoryRecord(ERT_Series, nullptr, nullptr);
      series->putAndInsertString(DCM_Modality, "CT");
      series->putAndInsertString(DCM_SeriesInstanceUID, ("1.2.3." + std::to_string(s)).c_str());
      study->insertSub(series);
      for (int i = 1; i <= 500; ++i) {
        const std::string name = "S" + std::to_string(s) + "I" + std::to_string(i);
        writeSlice(root / "DICOM" / name, s == 0 && i == 251 ? 512 : 16, i, "1.2.3." + std::to_string(s));
        auto *image = new DcmDirectoryRecord(ERT_Image, nullptr, nullptr);
        image->putAndInsertString(DCM_ReferencedFileID, ("DICOM\\" + name).c_str());
        image->putAndInsertString(DCM_InstanceNumber, std::to_string(i).c_str());
        series->insertSub(image);
      }
    }
    dicomdir.write();
    return root / "DICOMDIR";
  }();
  return directory;
}

void BM_FirstImage_Viewer(benchmark::State &state) {
  DicomImageDecoders decoders;
  const fs::path dicomdir = largeDicomdir();
  for (auto _ : state) {
    Examination examination = openExamination({dicomdir.string()});
    const ExaminationSeries &series = *examination.allSeries().front();
    SeriesSlice slice = series.slice(series.imageCount() / 2);
    DecodedFrame frame = decodeImageFrame(slice.path, slice.frame);
    std::vector<uint8_t> rgb(static_cast<size_t>(frame.width) * frame.height * 3);
    renderFrame(frame, buildOutputLookup(frame, settingsFromFile(frame)), false, rgb.data(), frame.width * 3);
    benchmark::DoNotOptimize(rgb.data());
  }
}

void BM_FirstImage_BareDcmtk(benchmark::State &state) {
  const fs::path dicomdir = largeDicomdir();
  for (auto _ : state) {
    DcmDicomDir directory(dicomdir.c_str());
    DcmDirectoryRecord *series = directory.getRootRecord().getSub(0)->getSub(0)->getSub(0);
    DcmDirectoryRecord *image = series->getSub(series->cardSub() / 2);
    OFString id;
    image->findAndGetOFStringArray(DCM_ReferencedFileID, id);
    std::string path = (dicomdir.parent_path() / "DICOM").string() + "/" + id.substr(6).c_str();
    DicomImage picture(path.c_str());
    picture.setWindow(0);
    benchmark::DoNotOptimize(picture.getOutputData(8));
  }
}

fs::path scrollSeries(E_TransferSyntax syntax, const char *name) {
  const fs::path folder = workFolder() / name;
  if (!fs::exists(folder))
    for (int i = 1; i <= 8; ++i) writeSlice(folder / ("IM" + std::to_string(i)), 512, i, "1.2.9", syntax);
  return folder;
}

void scrollStepViewer(benchmark::State &state, E_TransferSyntax syntax, const char *name) {
  DicomImageDecoders decoders;
  const fs::path folder = scrollSeries(syntax, name);
  int i = 0;
  // The window draws each step into the picture it drew the last one in.
  std::vector<uint8_t> rgb(512 * 512 * 3);
  for (auto _ : state) {
    DecodedFrame frame = decodeImageFrame((folder / ("IM" + std::to_string(i++ % 8 + 1))).string(), 0);
    if (frame.width != 512 || frame.height != 512) state.SkipWithError("not decoded");
    renderFrame(frame, buildOutputLookup(frame, settingsFromFile(frame)), false, rgb.data(), frame.width * 3);
    benchmark::DoNotOptimize(rgb.data());
  }
}

void scrollStepBare(benchmark::State &state, E_TransferSyntax syntax, const char *name) {
  DicomImageDecoders decoders;
  const fs::path folder = scrollSeries(syntax, name);
  int i = 0;
  for (auto _ : state) {
    DicomImage image((folder / ("IM" + std::to_string(i++ % 8 + 1))).c_str());
    image.setWindow(40, 400);
    benchmark::DoNotOptimize(image.getOutputData(8));
  }
}

void BM_ScrollStep512_Viewer(benchmark::State &state) {
  scrollStepViewer(state, EXS_LittleEndianExplicit, "plain");
}
void BM_ScrollStep512_BareDcmtk(benchmark::State &state) {
  scrollStepBare(state, EXS_LittleEndianExplicit, "plain");
}
void BM_ScrollStep512JpegLossless_Viewer(benchmark::State &state) {
  scrollStepViewer(state, EXS_JPEGProcess14SV1, "jpeg");
}
void BM_ScrollStep512JpegLossless_BareDcmtk(benchmark::State &state) {
  scrollStepBare(state, EXS_JPEGProcess14SV1, "jpeg");
}

// A step to a frame the cache decoded ahead: the lookup and the picture only.
void BM_ScrollStep512_DecodedAhead(benchmark::State &state) {
  DicomImageDecoders decoders;
  const fs::path folder = scrollSeries(EXS_LittleEndianExplicit, "plain");
  FrameCache cache;
  std::vector<FrameKey> keys;
  for (int i = 1; i <= 8; ++i) keys.push_back({(folder / ("IM" + std::to_string(i))).string(), 0});
  cache.want(keys);
  cache.waitUntilIdle();
  int i = 0;
  std::vector<uint8_t> rgb(512 * 512 * 3);
  for (auto _ : state) {
    SharedFrame frame = cache.find(keys[i++ % 8]);
    renderFrame(*frame, buildOutputLookup(*frame, settingsFromFile(*frame)), false, rgb.data(), 512 * 3);
    benchmark::DoNotOptimize(rgb.data());
  }
}

// Linked scrolling of two 512² series, 2.5 mm and 3 mm apart: a step shows
// the next image of the first and the nearest image of the second, against a
// step of the first alone, timed in turn in one run.
void BM_LinkedScrollStep512(benchmark::State &state) {
  DicomImageDecoders decoders;
  std::array<ExaminationSeries, 2> series;
  for (int s = 0; s < 2; ++s) {
    const fs::path folder = workFolder() / ("linked" + std::to_string(s));
    for (int i = 1; i <= 8; ++i) {
      const fs::path file = folder / ("IM" + std::to_string(i));
      if (!fs::exists(file))
        writeSlice(file, 512, i, "1.2.7." + std::to_string(s), EXS_LittleEndianExplicit,
                   i * (s == 0 ? 2.5 : 3.0));
      series[s].files.push_back(file.string());
      series[s].frameCounts.push_back(1);
    }
  }
  const SeriesGeometry from = readSeriesGeometry(series[0]), to = readSeriesGeometry(series[1]);
  std::vector<uint8_t> rgb(512 * 512 * 3);
  auto show = [&](const ExaminationSeries &shown, long image) {
    DecodedFrame frame = decodeImageFrame(shown.files[image], 0);
    if (frame.width != 512) state.SkipWithError("not decoded");
    renderFrame(frame, buildOutputLookup(frame, settingsFromFile(frame)), false, rgb.data(), 512 * 3);
    benchmark::DoNotOptimize(rgb.data());
  };
  using Clock = std::chrono::steady_clock;
  Clock::duration single{}, linked{};
  long steps = 0;
  for (auto _ : state) {
    const long image = steps++ % 8;
    const auto start = Clock::now();
    show(series[0], image);
    const auto middle = Clock::now();
    show(series[0], image);
    const SliceMatch match = matchingSlice(from, image, to);
    if (match.link != SliceLink::linked) state.SkipWithError("not linked");
    show(series[1], match.image);
    single += middle - start;
    linked += Clock::now() - middle;
  }
  const double singleMs = std::chrono::duration<double, std::milli>(single).count() / steps,
               linkedMs = std::chrono::duration<double, std::milli>(linked).count() / steps;
  state.counters["single ms"] = singleMs;
  state.counters["linked ms"] = linkedMs;
  state.counters["linked/single"] = linkedMs / singleMs;
}

void BM_WindowRedraw(benchmark::State &state) {
  const int side = static_cast<int>(state.range(0));
  DecodedFrame frame;
  frame.width = frame.height = side;
  frame.levels.resize(static_cast<size_t>(side) * side);
  for (size_t i = 0; i < frame.levels.size(); ++i) frame.levels[i] = static_cast<uint16_t>((i * 7) % 4096);
  frame.maxStored = 4095;
  frame.attributes.intercept = -1024;
  std::vector<uint8_t> rgb(frame.levels.size() * 3);
  DisplaySettings settings{{40, 400}, false, false};
  for (auto _ : state) {
    settings.window.centre += 1;  // as a drag changes it
    renderFrame(frame, buildOutputLookup(frame, settings), false, rgb.data(), side * 3);
    benchmark::DoNotOptimize(rgb.data());
  }
}

// 5,000 copies of one 512² RLE slice.
fs::path longSeries() {
  const fs::path folder = workFolder() / "long";
  if (!fs::exists(folder)) {
    writeSlice(folder / "IM1", 512, 1, "1.2.7", EXS_RLELossless);
    for (int i = 2; i <= 5000; ++i) fs::copy_file(folder / "IM1", folder / ("IM" + std::to_string(i)));
  }
  return folder;
}

// Steps as fast as they come through the first 1,000 slices of the long
// series, each step asking the workers for the frames after it as the window
// does, and drawing its frame: decoded ahead when the workers kept up, else
// decoded on the spot (counted as misses). Steps/s is the rate held.
void BM_Scroll1000SlicesDecodedAhead(benchmark::State &state) {
  DicomImageDecoders decoders;
  const fs::path folder = longSeries();
  const Examination examination = openExamination({folder.string()});
  const ExaminationSeries &series = *examination.allSeries().front();
  std::vector<uint8_t> rgb(512 * 512 * 3);
  long steps = 0, misses = 0;
  for (auto _ : state) {
    FrameCache cache;
    for (long i = 0; i < 1000; ++i, ++steps) {
      std::vector<FrameKey> ahead;
      for (long j = i; j < std::min(series.imageCount(), i + 24); ++j)
        ahead.push_back({series.slice(j).path, series.slice(j).frame});
      cache.want(ahead);
      SharedFrame frame = cache.find(ahead.front());
      if (!frame) ++misses, frame = cache.decode(ahead.front());
      renderFrame(*frame, buildOutputLookup(*frame, settingsFromFile(*frame)), false, rgb.data(), 512 * 3);
      benchmark::DoNotOptimize(rgb.data());
    }
    cache.waitUntilIdle();
  }
  state.counters["steps/s"] = benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
  state.counters["misses"] = static_cast<double>(misses) / static_cast<double>(state.iterations());
}

// The long series scrolled end to end with the default cache: 0 when every
// slice was shown and the cache kept to its budget.
int scrollLongSeries(const std::string &folder) {
  DicomImageDecoders decoders;
  Examination examination = openExamination({folder});
  const ExaminationSeries &series = *examination.allSeries().front();
  FrameCache cache;
  std::vector<uint8_t> rgb(512 * 512 * 3);
  for (long i = 0; i < series.imageCount(); ++i) {
    std::vector<FrameKey> ahead;
    for (long j = i; j < std::min(series.imageCount(), i + 24); ++j)
      ahead.push_back({series.slice(j).path, series.slice(j).frame});
    cache.want(ahead);
    SharedFrame frame = cache.decode(ahead.front());
    if (!frame->ok()) return 2;
    renderFrame(*frame, buildOutputLookup(*frame, settingsFromFile(*frame)), false, rgb.data(), 512 * 3);
  }
  cache.waitUntilIdle();
  return series.imageCount() == 5000 && cache.bytes() <= kDefaultFrameCacheBytes ? 0 : 3;
}

// 5,000 slices of 512² (RLE on the disc, 512 KiB each decoded) scrolled end
// to end in a process of its own limited to 2 GiB of address space. Started
// afresh, not only forked: the workers of the benchmarks before do not exist
// in a forked child, and their jobs would wait for ever.
void BM_LongSeriesWithin2GiB(benchmark::State &state) {
  const fs::path folder = longSeries();
  for (auto _ : state) {
    const pid_t child = fork();
    if (child == 0) {
      rlimit limit{2048ul << 20, 2048ul << 20};
      setrlimit(RLIMIT_AS, &limit);
      execl("/proc/self/exe", "viewer_bench", "--scroll-long-series", folder.c_str(), nullptr);
      _exit(4);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
      state.SkipWithError("the series did not scroll within 2 GiB");
  }
  state.counters["slices"] = 5000;
}

}  // namespace

BENCHMARK(BM_FirstImage_Viewer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstImage_BareDcmtk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollStep512_Viewer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollStep512_BareDcmtk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollStep512JpegLossless_Viewer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollStep512JpegLossless_BareDcmtk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollStep512_DecodedAhead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LinkedScrollStep512)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowRedraw)->Arg(512)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scroll1000SlicesDecodedAhead)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LongSeriesWithin2GiB)->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char **argv) {
  OFLog::configure(OFLogger::FATAL_LOG_LEVEL);
  if (argc == 3 && std::string(argv[1]) == "--scroll-long-series") return scrollLongSeries(argv[2]);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  boost::system::error_code error;
  fs::remove_all(workFolder(), error);
  return 0;
}
