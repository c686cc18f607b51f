// Files on a hostile medium that are no files: pipes, devices and huge sparse
// files where the navigator reads a list, a picture, a report or its
// settings. Nothing waits on them, nothing reads them without end; they count
// as missing or unreadable. Also settings files with very long lines.
#include "base/tmp_directory.h"
#include "descriptions/wrapper_page.h"
#include "platform/platform.h"
#include "tree/branch_tree.h"
#include "viewer_launch/viewer_settings.h"

#include "support/gui.h"
#include "support/scoped_medium.h"

#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace testsupport;
using namespace std::string_literals;
namespace fs = boost::filesystem;

// The kinds of non-files a disc can carry where a file is expected.
void makePipe(const ScopedMedium &medium, const std::string &relative) {
  fs::create_directories(fs::path(medium.path(relative)).parent_path());
  ASSERT_EQ(::mkfifo(medium.path(relative).c_str(), 0644), 0);
}
void makeEndlessDevice(const ScopedMedium &medium, const std::string &relative) {
  fs::create_directories(fs::path(medium.path(relative)).parent_path());
  fs::create_symlink("/dev/zero", medium.path(relative));
}
// A file of `size` bytes that takes no room: a hole.
void makeSparseFile(const ScopedMedium &medium, const std::string &relative, off_t size) {
  medium.writeFile(relative, "");
  ASSERT_EQ(::truncate(medium.path(relative).c_str(), size), 0);
}

TEST(HostileFiles, ReadingARegularFileRefusesPipesDevicesFoldersAndFilesAboveTheLimit) {
  ScopedMedium medium;
  medium.writeFile("plain.txt", "treść\0z zerem"s);
  makePipe(medium, "pipe");
  makeEndlessDevice(medium, "zero");
  makeSparseFile(medium, "sparse", 1025);
  medium.makeDirectory("folder");

  std::string content;
  std::string error;
  EXPECT_TRUE(platform::readRegularFile("plain.txt", 1024, content, &error));
  EXPECT_EQ(content, "treść\0z zerem"s);
  const struct {
    const char *path;
    const char *reason;
  } refused[] = {{"pipe", "to nie jest zwykły plik"},
                 {"zero", "to nie jest zwykły plik"},
                 {"folder", "to nie jest zwykły plik"},
                 {"sparse", "plik jest zbyt duży"},
                 {"missing", ""}};
  for (const auto &file : refused) {
    EXPECT_FALSE(platform::readRegularFile(file.path, 1024, content, &error)) << file.path;
    EXPECT_TRUE(content.empty()) << file.path;
    EXPECT_EQ(error.rfind(std::string(file.path) + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(file.reason), std::string::npos) << error;
  }
  EXPECT_TRUE(platform::readRegularFile("sparse", 2048, content));
  EXPECT_EQ(content, std::string(1025, '\0'));
}

TEST(HostileFiles, StartUpCopiesOnlyRegularFilesAndNeverWaitsOnAPipe) {
  ScopedMedium medium;
  makePipe(medium, "descrlist.js");
  medium.writePicture("img/a.png", 4, 4);
  makePipe(medium, "img/b_pipe.png");
  makeEndlessDevice(medium, "img/c_zero.png");
  makePipe(medium, "images/pipe.jpg");
  medium.writeFile("images/d.jpg", "x");

  testing::internal::CaptureStdout();
  createTmpDirectory();
  testing::internal::GetCapturedStdout();
  ASSERT_TRUE(tmpDirectoryUsable());
  EXPECT_TRUE(fs::is_regular_file(tmpPath("/img/a.png")));
  EXPECT_TRUE(fs::is_regular_file(tmpPath("/images/d.jpg")));
  for (const char *skipped : {"/descrlist.js", "/img/b_pipe.png", "/img/c_zero.png", "/images/pipe.jpg"})
    EXPECT_FALSE(fs::exists(fs::symlink_status(tmpPath(skipped)))) << skipped;
  removeTmpDirectory();
}

TEST(HostileFiles, AReportThatIsNoRegularFileGivesThePageWithoutAReport) {
  ScopedMedium medium;
  makePipe(medium, "pipe.html");
  makeEndlessDevice(medium, "zero.html");
  makeSparseFile(medium, "huge.html", 64 * 1024 * 1024 + 1);
  medium.makeDirectory("folder.html");
  testing::internal::CaptureStdout();
  createTmpDirectory();
  testing::internal::GetCapturedStdout();

  for (const char *entry : {"pipe.html", "zero.html", "huge.html", "folder.html"}) {
    testing::internal::CaptureStderr();
    EXPECT_TRUE(writeWrapperPage(entry)) << entry;
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(readFile(wrapperPagePath(entry)), wrapperPageHead()) << entry;
    EXPECT_EQ(errors.rfind(std::string(entry) + ": ", 0), 0u) << errors;
  }
  removeTmpDirectory();
}

TEST(HostileFiles, ViewerSettingsThatAreNoRegularFileOrTooLargeGiveTheDefaults) {
  ScopedMedium medium;
  const ViewerParameters defaults = parseViewerSettings("");
  makePipe(medium, "pipe.ini");
  makeEndlessDevice(medium, "zero.ini");
  medium.writeFile("large.ini", "viewer=inny.exe\n" + std::string(kLargestViewerSettings, '#'));
  for (const char *file : {"pipe.ini", "zero.ini", "large.ini", "missing.ini"})
    EXPECT_EQ(readViewerSettings(medium.path(file)), defaults) << file;
}

TEST(HostileFiles, ViewerSettingsWithVeryLongLinesAreReadWhole) {
  ScopedMedium medium;
  const std::string longProgram = std::string(300000, 'p') + ".exe";
  const std::string longTitle = "Okno " + std::string(200000, '=') + " \xFF\xFE";
  const std::string noise = std::string(400000, 'x');  // a line without "=": skipped
  medium.writeFile("gtk/bin/viewer.ini", noise + "\n[sekcja]\nviewer=" + longProgram +
                                             "\r\nwindowClassName=" + longTitle + "\0\n"s);
  ViewerParameters read = readViewerSettings(medium.path("gtk/bin/viewer.ini"));
  EXPECT_EQ(read.size(), 2u);
  EXPECT_EQ(read["exe"], longProgram);
  EXPECT_EQ(read["windowClassName"], longTitle + "\0"s);
}

TEST(HostileFiles, TreeTogglePicturesThatArePipesShowAsMissing) {
  ScopedMedium medium;
  makePipe(medium, "img/toggle_expand.png");
  makePipe(medium, "img/toggle_colapse.png");
  BranchTree tree;
  createTreeRoot(tree);
  GtkWidget *study = newLabelBranch("CT [Głowa]", 0);
  attachBranch(tree, study, nullptr);
  attachBranch(tree, newLabelBranch("Seria 1", 1), childrenContainer(study));
  GtkWidget *toggle = findToggleImage(study);
  ASSERT_NE(toggle, nullptr);
  EXPECT_NE(gtk_image_get_storage_type(GTK_IMAGE(toggle)), GTK_IMAGE_PIXBUF);

  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_container_add(GTK_CONTAINER(window), treeOuterEventBox(tree));
  gtk_widget_show(window);
  ASSERT_TRUE(waitUntil([window] { return gdk_window_is_viewable(gtk_widget_get_window(window)); }));
  ASSERT_TRUE(clickWithPointer(gtk_widget_get_parent(branchWidget(study))));  // unfolds: the other picture
  EXPECT_TRUE(gtk_widget_get_visible(childrenContainer(study)));
  EXPECT_NE(gtk_image_get_storage_type(GTK_IMAGE(toggle)), GTK_IMAGE_PIXBUF);
  gtk_widget_destroy(window);
}

}  // namespace
