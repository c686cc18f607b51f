// Links on a hostile medium: loops, and links that lead off the medium in
// REFIMG and DICOM. Every walk ends, never leaves the medium, and the two
// trees keep pairing by position.
#include "base/medium_links.h"
#include "base/tmp_directory.h"
#include "browser/browser_state.h"
#include "browser/full_pictures.h"
#include "browser/series_loading.h"
#include "browser/tree_building.h"
#include "catalogue/directory_scan.h"
#include "catalogue/reference_catalogue.h"

#include "browser/thumbnail_index.h"
#include "support/browser_session.h"
#include "support/dicom_fixture.h"
#include "support/gui.h"
#include "support/scoped_medium.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

using namespace testsupport;
namespace fs = boost::filesystem;

// A folder beside the medium holding pictures and DICOM files that must never
// be reached through the medium: a picture 77 pixels wide, a study folder of
// such pictures, and a DICOM study whose modality is "XX".
class OffMedium {
 public:
  explicit OffMedium(const ScopedMedium &medium) {
    medium.writePicture(relativeToMedium(medium, "pic.png"), 77, 77);
    medium.writePicture(relativeToMedium(medium, "study/SE1/a.png"), 77, 77);
    medium.writePicture(relativeToMedium(medium, "study/SE1/b.png"), 77, 77);
    writeDicomFile(folder_.path("DICOM/ST/SE/IM1"), {{DCM_Modality, "XX"}, {DCM_StudyDescription, "obca"}});
    writeDicomFile(folder_.path("file.dcm"), {{DCM_Modality, "XX"}});
  }
  std::string path(const std::string &relative) const { return folder_.path(relative); }

 private:
  // writePicture takes a path below the medium; "../" leads to the folder beside it.
  std::string relativeToMedium(const ScopedMedium &medium, const std::string &relative) const {
    return fs::relative(folder_.path(relative), medium.root()).string();
  }
  ScratchFolder folder_;
};

TEST(HostileLinks, WalksEndOnLoopsAndPassOverLinksOffTheMedium) {
  ScopedMedium medium;
  OffMedium outside(medium);
  medium.writePicture("REFIMG/ST1/SE1/a.png", 8, 8);
  fs::create_symlink(outside.path("pic.png"), medium.path("REFIMG/ST1/SE1/b_out.png"));
  fs::create_symlink(fs::relative(outside.path("pic.png"), medium.path("REFIMG/ST1/SE1")),
                     medium.path("REFIMG/ST1/SE1/c_relative_out.png"));
  fs::create_directory_symlink("..", medium.path("REFIMG/ST1/SE1/up"));
  fs::create_directory_symlink(".", medium.path("REFIMG/ST1/SE1/self"));
  fs::create_directory_symlink("/", medium.path("REFIMG/ST1/SE1/root"));
  fs::create_directory_symlink(outside.path("study/SE1"), medium.path("REFIMG/ST1/SE2_out"));
  fs::create_directory_symlink(outside.path("study"), medium.path("REFIMG/ST2_out"));
  fs::create_symlink("loop", medium.path("REFIMG/ST1/SE1/loop"));

  writeDicomFile(medium.path("DICOM/ST1/SE1/IM1"), {{DCM_Modality, "CT"}});
  fs::create_symlink(outside.path("file.dcm"), medium.path("DICOM/ST1/SE1/A_out"));  // sorts first
  fs::create_directory_symlink(outside.path("DICOM/ST/SE"), medium.path("DICOM/ST1/SE0_out"));
  fs::create_directory_symlink(outside.path("DICOM/ST"), medium.path("DICOM/ST0_out"));
  fs::create_directory_symlink("../ST1", medium.path("DICOM/ST1/SE2_up"));
  fs::create_directory_symlink("/", medium.path("DICOM/ST1/SE3_root"));

  EXPECT_EQ(countRegularFiles(fs::absolute("REFIMG")), 1);
  EXPECT_EQ(countRegularFiles(medium.path("REFIMG/ST2_out")), 0);
  const DicomFileMap onMedium = {{0, {{0, {"DICOM/ST1/SE1/IM1"}}}}};
  EXPECT_EQ(scanDicomTree(fs::absolute("DICOM")), onMedium);
  EXPECT_EQ(scanDicomStudy(medium.path("DICOM/ST1")), onMedium.at(0));
  EXPECT_TRUE(scanDicomStudy(medium.path("DICOM/ST0_out")).empty());
  EXPECT_EQ(firstDicomFile(medium.path("DICOM/ST1/SE1")), onMedium.at(0).at(0));
  EXPECT_TRUE(firstDicomFile(medium.path("DICOM/ST1/SE0_out")).empty());

  const std::string root = resolvedMediumRoot();
  EXPECT_TRUE(resolvesInsideMedium(medium.path("REFIMG/ST1/SE1/up"), root));
  EXPECT_FALSE(resolvesInsideMedium(medium.path("REFIMG/ST1/SE1/root"), root));
  EXPECT_FALSE(resolvesInsideMedium(medium.path("REFIMG/ST1/SE1/loop"), root));
  EXPECT_FALSE(resolvesInsideMedium(medium.path("REFIMG/ST1/SE1/missing"), root));
  EXPECT_FALSE(resolvesInsideMedium(medium.root(), ""));
  EXPECT_FALSE(linkLeavesMedium(medium.path("REFIMG/ST1/SE1/a.png"), root));
  EXPECT_TRUE(linkLeavesMedium(medium.path("REFIMG/ST1/SE1/c_relative_out.png"), root));
}

TEST(HostileLinks, TopFoldersThatAreLinksOffTheMediumAreNotWalked) {
  ScopedMedium medium;
  OffMedium outside(medium);
  fs::create_directory_symlink(outside.path("study"), medium.path("REFIMG"));
  fs::create_directory_symlink(outside.path("DICOM"), medium.path("DICOM"));

  EXPECT_EQ(countRegularFiles(fs::absolute("REFIMG")), 0);
  EXPECT_TRUE(scanDicomTree(fs::absolute("DICOM")).empty());
  BranchTree tree;
  createTreeRoot(tree);
  StudyMetadataIndex = {{0, {{0, {StudyMetadata{}}}}}};
  testing::internal::CaptureStdout();
  EXPECT_TRUE(buildStudyBranches(tree, fs::absolute("REFIMG")).empty());
  EXPECT_TRUE(buildSeriesBranches(tree, 0, fs::absolute("REFIMG")).empty());
  EXPECT_TRUE(loadSeriesImages(tree, 0, 0, fs::absolute("REFIMG/SE1")).empty());
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(childrenOf(tree.rootBox).empty());
  StudyMetadataIndex.clear();
  gtk_widget_destroy(treeOuterEventBox(tree));
}

TEST(HostileLinks, StartUpCopiesNothingThatLinksOffTheMedium) {
  ScopedMedium medium;
  OffMedium outside(medium);
  medium.writePicture("img/a.png", 4, 4);
  medium.writePicture("pictures/b.png", 5, 5);
  fs::create_symlink("../pictures/b.png", medium.path("img/b_inside.png"));
  fs::create_symlink(outside.path("pic.png"), medium.path("img/c_outside.png"));
  fs::create_directory_symlink(outside.path("study/SE1"), medium.path("images"));
  fs::create_symlink(outside.path("file.dcm"), medium.path("descrlist.js"));

  testing::internal::CaptureStdout();
  createTmpDirectory();
  testing::internal::GetCapturedStdout();
  ASSERT_TRUE(tmpDirectoryUsable());
  EXPECT_TRUE(fs::is_regular_file(tmpPath("/img/a.png")));
  EXPECT_TRUE(fs::is_regular_file(tmpPath("/img/b_inside.png")));
  for (const char *absent : {"/img/c_outside.png", "/images", "/descrlist.js"})
    EXPECT_FALSE(fs::exists(fs::symlink_status(tmpPath(absent)))) << absent;
  removeTmpDirectory();
}

using HostileLinksBrowser = BrowserSession;

// The label of the k-th study branch of the browser's tree.
std::string studyLabelAt(int k) {
  GtkWidget *row = branchWidget(childBranch(*browser.browserTree, nullptr, k));
  return gtk_label_get_text(GTK_LABEL(childrenOf(row).at(1)));
}

TEST_F(HostileLinksBrowser, LinksPassedOverInBothTreesKeepTheStudiesPaired) {
  makeMedium(sampleStudies());
  OffMedium outside(medium_);
  // Between the two studies of each tree: a link off the medium and a link to
  // a study seen before. Neither takes a position in either tree.
  fs::create_directory_symlink(outside.path("study"), medium_.path("REFIMG/ST001a"));
  fs::create_directory_symlink(outside.path("DICOM/ST"), medium_.path("DICOM/ST001a"));
  fs::create_directory_symlink("ST001", medium_.path("REFIMG/ST001b"));
  fs::create_directory_symlink("ST001", medium_.path("DICOM/ST001b"));
  // Inside a series: a picture off the medium, a loop and the file system's root.
  fs::create_symlink(outside.path("pic.png"), medium_.path("REFIMG/ST001/SE001/IM001a.png"));
  fs::create_directory_symlink("..", medium_.path("REFIMG/ST001/SE001/IM001b"));
  fs::create_directory_symlink("/", medium_.path("REFIMG/ST001/SE002/root"));
  // The kernel tells of any opening of the picture off the medium.
  int opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(inotify_add_watch(opens, outside.path("pic.png").c_str(), IN_OPEN | IN_ACCESS), 0);
  pressTile();
  ASSERT_NE(browser.browserWindow, nullptr);
  alignas(inotify_event) char events[4096];
  EXPECT_LE(read(opens, events, sizeof events), 0) << "the picture off the medium was opened";
  close(opens);

  ASSERT_EQ(ThumbnailIndex.size(), 2u);
  EXPECT_EQ(studyLabelAt(0), "CT [Głowa]");
  EXPECT_EQ(studyLabelAt(1), "MR []");
  EXPECT_EQ(childBranch(*browser.browserTree, nullptr, 2), nullptr);
  const std::vector<std::vector<int>> widths = {{100, 101, 102}, {110, 111}, {120, 121, 122, 123}};
  std::vector<std::vector<int>> shown;
  for (const auto &[study, series] : ThumbnailIndex)
    for (const auto &[index, thumbnails] : series) {
      shown.emplace_back();
      for (GtkWidget *thumbnail : thumbnails)
        shown.back().push_back(gdk_pixbuf_get_width(fullPicture(thumbnail).get()));
    }
  EXPECT_EQ(shown, widths) << "no picture from off the medium, every series in its place";
  EXPECT_EQ(totalImageCount, 9);
}

}  // namespace
