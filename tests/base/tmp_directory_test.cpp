// The per-run working directory: name, privacy, copies and removal.
#include "base/tmp_directory.h"

#include "app/main_window.h"
#include "ui/palette.h"
#include "ui/ui_state.h"

#include "support/child_run.h"
#include "support/gui.h"
#include "support/scoped_medium.h"
#include "support/scratch_folder.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <fstream>

namespace {

using testsupport::readFile;
using testsupport::ScopedMedium;

namespace fs = boost::filesystem;

// Every test removes what it created, whatever it asserted.
class TmpDirectoryTest : public testing::Test {
 protected:
  void TearDown() override { removeTmpDirectory(); }
};

bool hasNameFormat(const std::string &path) {
  std::string prefix = std::string(g_get_tmp_dir()) + "/VELMORAtmp";
  if (path.compare(0, prefix.size(), prefix) != 0) return false;
  std::string digits = path.substr(prefix.size());
  return !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
}

TEST_F(TmpDirectoryTest, IsPrivateNamedByTimeAndCopiesTheFirstLevel) {
  ScopedMedium medium;
  medium.writeFile("descrlist.js", "var d = [\"a.html\"];");
  medium.writeFile("img/icon.ico", "icon");
  medium.writeFile("img/sub/deep.jpg", "deep");
  medium.writeFile("images/photo.jpg", "photo");

  testing::internal::CaptureStdout();
  createTmpDirectory();
  std::string traced = testing::internal::GetCapturedStdout();

  ASSERT_TRUE(tmpDirectoryUsable());
  EXPECT_TRUE(hasNameFormat(tmpDirectory)) << tmpDirectory;
  struct stat info;
  ASSERT_EQ(stat(tmpDirectory.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(info.st_uid, getuid());

  EXPECT_EQ(readFile(tmpPath("/descrlist.js")), "var d = [\"a.html\"];");
  EXPECT_EQ(readFile(tmpPath("/img/icon.ico")), "icon");
  EXPECT_EQ(readFile(tmpPath("/images/photo.jpg")), "photo");
  // Only the first level: the sub-directory is neither copied nor created,
  // and its failed attribute step traces one error code (ENOENT).
  EXPECT_FALSE(fs::exists(tmpPath("/img/sub")));
  EXPECT_EQ(traced, "sourceDir: img\n2\nsourceDir: images\n");
}

TEST_F(TmpDirectoryTest, MissingSourcesAreSkippedWithTheirTraceLines) {
  ScopedMedium medium;
  testing::internal::CaptureStdout();
  createTmpDirectory();
  std::string traced = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(tmpDirectoryUsable());
  EXPECT_TRUE(fs::is_directory(tmpDirectory));
  EXPECT_FALSE(fs::exists(tmpPath("/img")));
  // descrlist.js missing: one error code; both folders: their source lines only.
  EXPECT_EQ(traced, "2\nsourceDir: img\nsourceDir: images\n");
}

TEST_F(TmpDirectoryTest, ReadOnlySourceGivesWritableCopy) {
  ScopedMedium medium;
  medium.writeFile("img/locked.png", "x");
  chmod(medium.path("img/locked.png").c_str(), 0444);
  createTmpDirectory();
  struct stat info;
  ASSERT_EQ(stat(tmpPath("/img/locked.png").c_str(), &info), 0);
  EXPECT_TRUE(info.st_mode & S_IWUSR);
  EXPECT_EQ(readFile(tmpPath("/img/locked.png")), "x");
}

TEST_F(TmpDirectoryTest, ExistingTargetIsNeverOverwritten) {
  ScopedMedium medium;
  medium.writeFile("img/a.png", "new");
  createTmpDirectory();
  medium.writeFile("img/a.png", "changed on the medium");
  copyDirectoryToTmp("img");
  EXPECT_EQ(readFile(tmpPath("/img/a.png")), "new");
}

TEST_F(TmpDirectoryTest, TakenNameIsNeverAdopted) {
  ScopedMedium medium;
  // Plant directories for the next many microseconds: creation must pick a
  // name nobody made and leave the planted ones alone.
  gint64 now = g_get_real_time();
  std::vector<std::string> planted;
  for (gint64 t = now; t < now + 2000; ++t) {
    std::string name = std::string(g_get_tmp_dir()) + "/VELMORAtmp" + std::to_string(t);
    if (mkdir(name.c_str(), 0777) == 0) planted.push_back(name);
  }
  createTmpDirectory();
  ASSERT_TRUE(tmpDirectoryUsable());
  for (const std::string &name : planted) EXPECT_NE(name, tmpDirectory);
  removeTmpDirectory();
  for (const std::string &name : planted) {
    EXPECT_TRUE(fs::is_directory(name));
    rmdir(name.c_str());
  }
}

TEST_F(TmpDirectoryTest, TwoRunsGetDifferentDirectories) {
  ScopedMedium medium;
  createTmpDirectory();
  std::string first = tmpDirectory;
  createTmpDirectory();
  EXPECT_NE(first, tmpDirectory);
  std::string second = tmpDirectory;
  removeTmpDirectory();
  EXPECT_FALSE(fs::exists(second));
  boost::system::error_code error;
  fs::remove_all(first, error);
}

TEST_F(TmpDirectoryTest, RemovalTakesEverythingThisRunCreatedAndNothingElse) {
  ScopedMedium medium;
  medium.writeFile("img/a.png", "a");
  createTmpDirectory();
  std::string made = tmpDirectory;
  testsupport::ScopedMedium other;  // unrelated folder, must survive
  other.writeFile("keep.txt", "keep");
  medium.writeFile("unused", "");
  {
    std::ofstream page(tmpPath("/page.html"));
    page << "<html/>";
  }
  removeTmpDirectory();
  EXPECT_FALSE(fs::exists(made));
  EXPECT_TRUE(fs::exists(other.path("keep.txt")));
  // A second removal does nothing, even if the name is taken again meanwhile.
  fs::create_directory(made);
  removeTmpDirectory();
  EXPECT_TRUE(fs::exists(made));
  fs::remove(made);
}

// With a long temporary folder path every run's name is cut to the same one;
// a folder left there by an earlier run (or planted) takes it.
TEST(TakenWorkingDirectoryName, NothingIsReadFromItAndThePicturesComeFromTheMedium) {
  const char *const testName = "TakenWorkingDirectoryName.NothingIsReadFromItAndThePicturesComeFromTheMedium";
  if (testsupport::childRunRole() == "long-tmpdir") {
    ScopedMedium medium;
    medium.writePicture("img/obr_diag_n.jpg", 31, 17);
    medium.writeFile("descrlist.js", "[\"opis.html\"]");
    medium.writeFile("opis.html", "<p>opis</p>");
    medium.writePicture("foreign.jpg", 50, 50);
    const std::string taken = std::string(g_get_tmp_dir()) + "/VELMORAtmp1";
    ASSERT_EQ(taken.size(), 149u);
    fs::create_directories(taken + "/img");
    fs::rename(medium.path("foreign.jpg"), taken + "/img/obr_diag_n.jpg");

    g_unsetenv("XDG_RUNTIME_DIR");  // so that the temporary folder is the only place
    testing::internal::CaptureStdout();
    createTmpDirectory();
    std::string traced = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(tmpDirectoryUsable());
    EXPECT_EQ(tmpDirectory, "");
    EXPECT_NE(traced.find("katalogu roboczego w " + std::string(g_get_tmp_dir()) + ": File exists"),
              std::string::npos)
        << traced;
    parsePalette();
    buildMainWindow();
    testsupport::drainEvents();
    EXPECT_TRUE(testsupport::imageShowsFile(testsupport::findWidget(mainWindow, "ObrazDiag"),
                                            medium.path("img/obr_diag_n.jpg")));
    EXPECT_EQ(testsupport::findWidget(mainWindow, "ObrazOpis"), nullptr);
    gtk_widget_destroy(mainWindow);
    removeTmpDirectory();
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(taken), {}), 2);  // img and its picture
    return;
  }
  testsupport::ScratchFolder scratch;
  const std::string folder = scratch.root() + "/";
  std::string tmp = folder + std::string(148 - folder.size() - std::string("/VELMORAtmp").size(), 'd');
  fs::create_directories(tmp);
  testsupport::ChildResult child = testsupport::runTestInChild(testName, "long-tmpdir", {{"TMPDIR", tmp}});
  EXPECT_EQ(child.exitStatus, 0) << child.output;
  EXPECT_NE(child.output.find("[  PASSED  ] 1 test"), std::string::npos) << child.output;
}

}  // namespace
