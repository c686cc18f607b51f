// A JPEG 2000 frame's way to an 8-bit picture in make-disc (DCMTK's image
// module over the viewer's OpenJPEG codec) against its parts done bare:
// OpenJPEG's decode of the code stream plus DCMTK's windowing of the same
// frame stored uncompressed. Both are timed in turn in one run; `ratio` is the
// first over the second (aimed at no more than 1.2).
#include "imaging/dicom_decoders.h"
#include "imaging/jpeg2000.h"

#include <benchmark/benchmark.h>
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmimgle/dcmimage.h>
#include <glib.h>
#include <boost/filesystem.hpp>

#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Frame {
  std::string folder, plain, coded;
  std::vector<Uint8> stream;
};

// A CT-like slice: a disc of soft tissue with a brighter ring and some noise,
// so that the code stream is of a realistic size.
Frame makeFrame(int side) {
  Frame frame;
  std::unique_ptr<gchar, decltype(&g_free)> folder(g_dir_make_tmp("bench-j2k-XXXXXX", nullptr), g_free);
  if (!folder) return frame;
  frame.folder = folder.get();
  std::vector<Uint16> samples(static_cast<size_t>(side) * side);
  guint32 noise = 12345;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      const double r = std::hypot(x - side / 2.0, y - side / 2.0) / (side / 2.0);
      noise = noise * 1103515245u + 12345u;
      const int value =
          (r < 0.8 ? 1040 : 24) + (r > 0.7 && r < 0.8 ? 900 : 0) + static_cast<int>(noise >> 28);
      samples[static_cast<size_t>(y) * side + x] = static_cast<Uint16>(value);
    }
  DcmFileFormat file;
  DcmDataset *d = file.getDataset();
  char uid[100];
  d->putAndInsertString(DCM_SOPClassUID, UID_CTImageStorage);
  d->putAndInsertString(DCM_SOPInstanceUID, dcmGenerateUniqueIdentifier(uid));
  d->putAndInsertString(DCM_PhotometricInterpretation, "MONOCHROME2");
  d->putAndInsertString(DCM_WindowCenter, "1064");
  d->putAndInsertString(DCM_WindowWidth, "400");
  for (auto tag : {DCM_Rows, DCM_Columns}) d->putAndInsertUint16(tag, static_cast<Uint16>(side));
  d->putAndInsertUint16(DCM_SamplesPerPixel, 1);
  d->putAndInsertUint16(DCM_BitsAllocated, 16);
  d->putAndInsertUint16(DCM_BitsStored, 12);
  d->putAndInsertUint16(DCM_HighBit, 11);
  d->putAndInsertUint16(DCM_PixelRepresentation, 0);
  d->putAndInsertUint16Array(DCM_PixelData, samples.data(), samples.size());
  frame.plain = frame.folder + "/plain.dcm";
  if (file.saveFile(frame.plain.c_str(), EXS_LittleEndianExplicit).bad()) return Frame();

  const std::string raw = frame.folder + "/frame.rawl", coded = frame.folder + "/frame.j2k";
  std::ofstream(raw, std::ios::binary)
      .write(reinterpret_cast<const char *>(samples.data()),
             static_cast<std::streamsize>(samples.size() * 2));
  const std::string command = "opj_compress -i " + raw + " -o " + coded + " -F " + std::to_string(side) +
                              "," + std::to_string(side) + ",1,12,u";
  gint status = -1;
  gchar *out = nullptr, *err = nullptr;  // its chatter stays out of the results
  const bool ran = g_spawn_command_line_sync(command.c_str(), &out, &err, &status, nullptr);
  g_free(out), g_free(err);
  if (!ran || !g_spawn_check_exit_status(status, nullptr)) return Frame();
  std::ifstream in(coded, std::ios::binary);
  frame.stream.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  std::vector<Uint8> padded = frame.stream;
  if (padded.size() % 2 == 1) padded.push_back(0);
  auto *sequence = new DcmPixelSequence(DCM_PixelSequenceTag);
  sequence->insert(new DcmPixelItem(DCM_PixelItemTag));
  auto *item = new DcmPixelItem(DCM_PixelItemTag);
  item->putUint8Array(padded.data(), static_cast<unsigned long>(padded.size()));
  sequence->insert(item);
  auto *pixels = new DcmPixelData(DCM_PixelData);
  pixels->putOriginalRepresentation(EXS_JPEG2000LosslessOnly, nullptr, sequence);
  d->insert(pixels, OFTrue);
  frame.coded = frame.folder + "/coded.dcm";
  if (file.saveFile(frame.coded.c_str(), EXS_JPEG2000LosslessOnly).bad()) return Frame();
  return frame;
}

// The file's own window applied, its 8-bit output made, as make-disc does.
bool windowed(const std::string &path) {
  DicomImage image(path.c_str());
  if (image.getStatus() != EIS_Normal || !image.setWindow(0)) return false;
  return image.getOutputData(8, 0, 0) != nullptr;
}

double secondsOf(const std::function<bool()> &work, bool *ok) {
  const auto start = std::chrono::steady_clock::now();
  *ok = work() && *ok;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void jpeg2000PictureAgainstItsParts(benchmark::State &state) {
  const Frame frame = makeFrame(static_cast<int>(state.range(0)));
  if (frame.coded.empty()) {
    state.SkipWithError("the JPEG 2000 frame cannot be made (opj_compress)");
    return;
  }
  DicomImageDecoders decoders;
  double tool = 0, parts = 0;
  bool ok = true;
  for (auto _ : state) {
    tool += secondsOf([&] { return windowed(frame.coded); }, &ok);
    parts += secondsOf(
        [&] {
          Jpeg2000Image image;
          std::string error;
          return decodeJpeg2000(frame.stream.data(), frame.stream.size(), image, error) &&
                 windowed(frame.plain);
        },
        &ok);
  }
  if (!ok) state.SkipWithError("a frame was not decoded");
  const double runs = static_cast<double>(state.iterations());
  state.counters["tool_ms"] = tool * 1000 / runs;
  state.counters["parts_ms"] = parts * 1000 / runs;
  state.counters["ratio"] = parts > 0 ? tool / parts : 0;
  boost::system::error_code failure;
  boost::filesystem::remove_all(frame.folder, failure);
}

BENCHMARK(jpeg2000PictureAgainstItsParts)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
