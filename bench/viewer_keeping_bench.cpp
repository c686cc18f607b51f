// The viewer's attribute window and PNG saving, in one run:
//   attribute window: opening "Atrybuty DICOM" on a file of 5,000 attributes,
//     read, listed and shown as a tree (target: at most 100 ms);
//   PNG of a 4096² frame: "Zapisz obraz" (the picture as shown, written under
//     a temporary name and renamed) against libpng's own write of the same
//     pixels at its default settings (target: at most 1.2 times).
// Run under a display: xvfb-run -a build/bench/viewer_keeping_bench
#include "imaging/display_mapping.h"
#include "viewer/attribute_window.h"
#include "viewer/image_drawing.h"
#include "viewer/picture_keeping.h"

#include <benchmark/benchmark.h>
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <glib/gstdio.h>
#include <png.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

const std::string &workFolder() {
  static const std::string folder = [] {
    std::string pattern = std::string(g_get_tmp_dir()) + "/keeping-bench-XXXXXX";
    return std::string(g_mkdtemp(&pattern[0]));
  }();
  return folder;
}

void drain() {
  while (gtk_events_pending()) gtk_main_iteration();
}

void BM_AttributeWindow5000(benchmark::State &state) {
  if (!gtk_init_check(nullptr, nullptr)) {
    state.SkipWithError("no display");
    return;
  }
  const std::string path = workFolder() + "/many.dcm";
  DcmFileFormat file;
  DcmDataset &d = *file.getDataset();
  d.putAndInsertString(DCM_SOPClassUID, UID_SecondaryCaptureImageStorage);
  d.putAndInsertString(DCM_PatientName, "Kowalski^Jan");
  d.putAndInsertString(DcmTag(0x0029, 0x0010, EVR_LO), "VELMORA BENCH");
  for (int i = 0; i < 4996; ++i)
    d.putAndInsertString(DcmTag(0x0031 + 2 * (i / 256), 0x1000 + i % 256, EVR_LO),
                         ("wartość " + std::to_string(i)).c_str());
  file.saveFile(path.c_str(), EXS_LittleEndianExplicit);
  for (auto _ : state) {
    GtkWidget *window = openAttributeWindow(nullptr, path, "obraz");
    drain();
    state.PauseTiming();
    gtk_widget_destroy(window);
    drain();
    state.ResumeTiming();
  }
}

SharedFrame frame4096() {
  auto frame = std::make_shared<DecodedFrame>();
  frame->width = frame->height = 4096;
  frame->levels.resize(size_t(4096) * 4096);
  // A smooth pattern with noise, as compressible as a radiograph.
  uint32_t noise = 1;
  for (size_t i = 0; i < frame->levels.size(); ++i) {
    noise = noise * 1103515245 + 12345;
    frame->levels[i] = static_cast<uint16_t>((i % 4096 + i / 4096) / 2 + (noise >> 29));
  }
  frame->maxStored = 4100;
  frame->attributes.modality = "CR";
  frame->attributes.rows = frame->attributes.columns = 4096;
  frame->attributes.photometric = "MONOCHROME2";
  return frame;
}

void BM_SavePng4096_Viewer(benchmark::State &state) {
  const SharedFrame frame = frame4096();
  ViewState view;
  view.display = settingsFromFile(*frame);
  view.overlay = false;
  for (auto _ : state) {
    std::string error;
    UniqueObject<GdkPixbuf> picture = shownPicture(frame, view, false);
    const std::string saved = savePicture(picture.get(), workFolder(), "saved", error);
    state.PauseTiming();
    if (saved.empty()) state.SkipWithError(error.c_str());
    g_unlink(saved.c_str());
    state.ResumeTiming();
  }
}

void BM_SavePng4096_Libpng(benchmark::State &state) {
  const SharedFrame frame = frame4096();
  std::vector<uint8_t> rgb(size_t(4096) * 4096 * 3);
  renderFrame(*frame, buildOutputLookup(*frame, settingsFromFile(*frame)), false, rgb.data(), 4096 * 3);
  const std::string path = workFolder() + "/libpng.png";
  for (auto _ : state) {
    FILE *out = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, out);
    png_set_IHDR(png, info, 4096, 4096, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int row = 0; row < 4096; ++row) png_write_row(png, &rgb[size_t(row) * 4096 * 3]);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(out);
  }
  g_unlink(path.c_str());
}

}  // namespace

BENCHMARK(BM_AttributeWindow5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SavePng4096_Viewer)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SavePng4096_Libpng)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
