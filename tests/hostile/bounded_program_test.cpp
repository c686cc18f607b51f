// The whole program on a hostile medium in a child process whose address
// space and running time are bounded: the reference-image tile is pressed by
// a real event, the build is looked at once it has ended, and the run is then
// ended by a signal.
#include "app/application.h"
#include "base/tmp_directory.h"
#include "browser/browser_state.h"
#include "browser/thumbnail_index.h"
#include "browser/thumbnail_pixels.h"
#include "ui/ui_state.h"

#include "support/child_run.h"
#include "support/dicom_fixture.h"
#include "support/gui.h"
#include "support/picture_bytes.h"
#include "support/scoped_medium.h"

#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include <sys/resource.h>
#include <unistd.h>
#include <csignal>
#include <fstream>
#include <functional>

namespace {

using namespace testsupport;

struct HostileMedium {
  const char *name;
  std::function<void(const ScopedMedium &)> write;
  int thumbnails;       // every picture counted, and no warning
  long residentGrowth;  // KiB the build may add to the peak resident size
};
void PrintTo(const HostileMedium &medium, std::ostream *out) { *out << medium.name; }

const HostileMedium kMedia[] = {
    // Refused pictures of every kind in the first series, and its DICOM file damaged.
    {"BadPicturesInTheFirstSeries",
     [](const ScopedMedium &m) {
       m.writeFile("REFIMG/ST1/SE1/1.png", "\x89PNG\r\n\x1a\n" + std::string(4096, '\xA5'));
       m.writeFile("REFIMG/ST1/SE1/2.jpg", jpegOfEmptyScans(1024, 1024, 1000));
       m.writeFile("REFIMG/ST1/SE1/3.png", pngDeclaring(100000, 100000));
       m.writeFile("REFIMG/ST1/SE1/4.jpg", jpegDeclaring(60000, 60000));
       m.writePicture("REFIMG/ST2/SE1/1.png", 64, 64);
       m.writeFile("DICOM/ST1/SE1/IM1", std::string(128, '\0') + "DICM");
       writeDicomFile(m.path("DICOM/ST2/SE1/IM1"), {{DCM_Modality, "MR"}});
     },
     5, 256 << 10},
    // 20,000 tiny pictures in series of 100: a fifth of the hundred thousand
    // that a benchmark keeps inside 512 MiB; their thumbnails alone would take
    // a gigabyte.
    {"TwentyThousandTinyPictures",
     [](const ScopedMedium &m) {
       const std::string tiny = pngBytes(8, 8);
       for (int i = 0; i < 20000; ++i) {
         std::string series = "ST" + std::to_string(i / 1000) + "/SE" + std::to_string(i / 100 % 10);
         if (i % 100 == 0) writeDicomFile(m.path("DICOM/" + series + "/IM1"), {{DCM_Modality, "CT"}});
         m.writeFile("REFIMG/" + series + "/" + std::to_string(i) + ".png", tiny);
       }
     },
     20000, 160 << 10},
};

int thumbnailsSeen = -1;
long residentAtStart = 0, residentGrowth = 0;  // KiB

long statusKilobytes(const char *field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
  return 0;
}

gboolean lookWhenBuilt(gpointer) {
  GtkWidget *tile = mainWindow != nullptr ? findWidget(mainWindow, "ObrazRef") : nullptr;
  if (tile != nullptr && thumbnailsSeen < 0 && !referenceBrowserBusy && browser.browserWindow == nullptr) {
    thumbnailsSeen = 0;
    sendButtonEvent(gtk_widget_get_parent(tile));  // the build runs inside the press
    for (const auto &study : ThumbnailIndex)
      for (const auto &series : study.second) thumbnailsSeen += static_cast<int>(series.second.size());
    EXPECT_TRUE(messageDialogsTitled("Obrazy referencyjne").empty());
    EXPECT_LE(thumbnailPixelBytes(), kDefaultThumbnailPixelBudget);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // they keep far more
    EXPECT_LE(statusKilobytes("VmHWM:") - residentAtStart, residentGrowth);
#endif
    raise(SIGTERM);
  }
  return G_SOURCE_CONTINUE;
}

class BoundedProgram : public testing::TestWithParam<HostileMedium> {};

TEST_P(BoundedProgram, EveryPictureIsCountedWithoutAWarningInBoundedMemoryAndTime) {
  const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
  if (childRunRole() != "bounded") {
    ScopedMedium medium;
    GetParam().write(medium);
    ChildResult child = runTestInChild(std::string(test->test_suite_name()) + "." + test->name(), "bounded",
                                       {{"VELMORA_TEST_MEDIUM", medium.root()}});
    EXPECT_EQ(child.exitStatus, 0) << child.output.substr(child.output.size() -
                                                          std::min<size_t>(child.output.size(), 4000));
    return;
  }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)                   // they reserve far more
  rlim_t bytes = static_cast<rlim_t>(statusKilobytes("VmSize:") + (1 << 20)) * 1024;  // a GiB more
  rlimit limit{bytes, bytes};
  setrlimit(RLIMIT_AS, &limit);
#endif
  residentAtStart = statusKilobytes("VmHWM:");
  residentGrowth = GetParam().residentGrowth;
  alarm(100);  // the child dies of the alarm, and the parent sees it
  std::string root = g_getenv("VELMORA_TEST_MEDIUM");
  ASSERT_EQ(chdir(root.c_str()), 0);
  g_timeout_add(5, lookWhenBuilt, nullptr);
  std::string program = VELMORA_PROGRAM;
  char *argv[] = {&program[0], &root[0], nullptr};
  gdk_threads_leave();
  EXPECT_EQ(runApplication(2, argv), 0);
  gdk_threads_enter();
  EXPECT_EQ(thumbnailsSeen, GetParam().thumbnails);
  EXPECT_FALSE(boost::filesystem::exists(tmpDirectory));
}

INSTANTIATE_TEST_SUITE_P(HostileMedium, BoundedProgram, testing::ValuesIn(kMedia),
                         [](const testing::TestParamInfo<HostileMedium> &info) { return info.param.name; });

}  // namespace
