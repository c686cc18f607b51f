// The whole program on a hostile medium, run in a child process whose address
// space and running time are bounded: the reference-image tile is pressed by
// a real event, the build is looked at when it has ended, and the program is
// then ended by a signal as a user's session would end it.
#include "app/application.h"
#include "base/tmp_directory.h"
#include "browser/browser_state.h"
#include "browser/thumbnail_index.h"
#include "catalogue/reference_catalogue.h"
#include "ui/ui_state.h"

#include "support/child_run.h"
#include "support/dicom_fixture.h"
#include "support/gui.h"
#include "support/picture_bytes.h"
#include "support/scoped_medium.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include <sys/resource.h>
#include <unistd.h>
#include <csignal>
#include <fstream>
#include <functional>
#include <string>

namespace {

using namespace testsupport;
namespace fs = boost::filesystem;

struct BuildSeen {
  bool ended = false;
  bool warned = false;
  int thumbnails = 0;
  int studies = 0;
};
BuildSeen seen;

long statusKilobytes(const char *field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
  return 0;
}

gboolean pressReferenceTile(gpointer) {
  if (mainWindow == nullptr) return G_SOURCE_CONTINUE;
  GtkWidget *tile = findWidget(mainWindow, "ObrazRef");
  if (tile != nullptr) sendButtonEvent(gtk_widget_get_parent(tile));
  return G_SOURCE_REMOVE;
}

// Once the build has ended: what it left on screen, then the end of the run.
gboolean lookWhenBuilt(gpointer) {
  if (referenceBrowserBusy ||
      (browserWindow == nullptr && messageDialogsTitled("Obrazy referencyjne").empty()))
    return G_SOURCE_CONTINUE;
  seen.ended = true;
  seen.warned = !messageDialogsTitled("Obrazy referencyjne").empty();
  seen.studies = static_cast<int>(ThumbnailIndex.size());
  for (const auto &study : ThumbnailIndex)
    for (const auto &series : study.second) seen.thumbnails += static_cast<int>(series.second.size());
  raise(SIGTERM);
  return G_SOURCE_REMOVE;
}

// In the child: the program on the medium named by the parent, with at most
// `extraBytes` of address space above what the process holds now (sanitized
// builds reserve far more, so they run without that bound) and `seconds` of
// time, after which the child is killed and the parent sees it fail.
int runBoundedProgram(size_t extraBytes, unsigned seconds) {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  rlim_t bytes = static_cast<rlim_t>(statusKilobytes("VmSize:")) * 1024 + extraBytes;
  rlimit limit{bytes, bytes};
  setrlimit(RLIMIT_AS, &limit);
#else
  (void)extraBytes;
#endif
  alarm(seconds);
  std::string root = g_getenv("VELMORA_TEST_MEDIUM");
  if (chdir(root.c_str()) != 0) return -1;
  g_timeout_add(5, pressReferenceTile, nullptr);
  g_timeout_add(5, lookWhenBuilt, nullptr);
  std::string program = VELMORA_PROGRAM;
  char *argv[] = {&program[0], &root[0], nullptr};
  gdk_threads_leave();
  int code = runApplication(2, argv);
  gdk_threads_enter();
  return code;
}

// Bad pictures of every kind in the first series and a damaged first DICOM
// file: the browser opens with every picture counted, and no warning.
TEST(BoundedProgram, BadPicturesAndADamagedFirstDicomFileNeverHideTheRest) {
  if (childRunRole() != "bad pictures") {
    ScopedMedium medium;
    const std::string series = "REFIMG/ST1/SE1/";
    medium.writeFile(series + "1.png", "\x89PNG\r\n\x1a\n" + std::string(4096, '\xA5'));
    medium.writeFile(series + "2.jpg", "\xFF\xD8\xFF\xE0" + std::string(4096, '\x11'));
    medium.writeFile(series + "3.jpg", jpegOfEmptyScans(1024, 1024, 1000));
    medium.writeFile(series + "4.png", pngDeclaring(100000, 100000));
    medium.writeFile(series + "5.jpg", jpegDeclaring(60000, 60000));
    medium.writePicture(series + "6.png", 64, 64);
    medium.writePicture("REFIMG/ST2/SE1/1.png", 64, 64);
    medium.writeFile("DICOM/ST1/SE1/IM1", std::string(128, '\0') + "DICM");
    ASSERT_TRUE(writeDicomFile(medium.path("DICOM/ST2/SE1/IM1"), {{DCM_Modality, "MR"}}));
    ChildResult child = runTestInChild("BoundedProgram.BadPicturesAndADamagedFirstDicomFileNeverHideTheRest",
                                       "bad pictures", {{"VELMORA_TEST_MEDIUM", medium.root()}});
    EXPECT_EQ(child.exitStatus, 0) << child.output;
    EXPECT_NE(child.output.find("nie można odczytać obrazu: REFIMG/ST1/SE1/5.jpg"), std::string::npos);
    return;
  }
  EXPECT_EQ(runBoundedProgram(size_t{1} << 30, 60), 0);
  EXPECT_TRUE(seen.ended);
  EXPECT_FALSE(seen.warned);
  EXPECT_EQ(seen.studies, 2);
  EXPECT_EQ(seen.thumbnails, 7);
  EXPECT_FALSE(fs::exists(tmpDirectory));
}

}  // namespace
