// Building the tree of studies and series from a real REFIMG folder, matched by
// position with the attribute records.
#include "browser/tree_building.h"

#include "browser/thumbnail_index.h"
#include "catalogue/reference_catalogue.h"

#include "support/gui.h"
#include "support/scoped_medium.h"

#include <glib.h>
#include <gtest/gtest.h>

namespace {

using namespace testsupport;
namespace fs = boost::filesystem;

StudyMetadata record(const std::string &modality, const std::string &study, const std::string &series) {
  return {"Kowalski^Jan", "80010112345", modality, "20240105", study, series};
}

class TreeBuildingTest : public testing::Test {
 protected:
  void SetUp() override {
    createTreeRoot(tree_);
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_container_add(GTK_CONTAINER(window_), treeOuterEventBox(tree_));
  }
  void TearDown() override {
    gtk_widget_destroy(window_);
    StudyMetadataIndex.clear();
    loadedImageCount = totalImageCount = 0;
    mediumReadable = true;
  }
  ThumbnailMap build() {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ThumbnailMap result = buildStudyBranches(tree_, fs::absolute("REFIMG"));
    traced_ = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    return result;
  }
  std::string labelOf(GtkWidget *branch) {
    GtkWidget *row = branchWidget(branch);
    return gtk_label_get_text(GTK_LABEL(childrenOf(row).at(1)));
  }
  std::vector<std::string> labelsUnder(GtkWidget *branch) {
    std::vector<std::string> labels;
    for (int i = 0; GtkWidget *child = childBranch(tree_, branch, i); ++i) labels.push_back(labelOf(child));
    return labels;
  }

  ScopedMedium medium_;
  BranchTree tree_;
  GtkWidget *window_ = nullptr;
  std::string traced_;
};

TEST(TreeLabels, FormatsAndLimits) {
  EXPECT_EQ(studyLabel(record("CT", "", "")), "CT []");
  EXPECT_EQ(studyLabel(record("MR", "Głowa", "")), "MR [Głowa]");
  EXPECT_EQ(seriesLabel(record("CT", "", "Osiowa"), 0), "Osiowa");
  EXPECT_EQ(seriesLabel(record("CT", "", ""), 2), "Seria 3");

  std::string longText;
  for (int i = 0; i < 200; ++i) longText += "ż";  // two bytes each
  struct Case {
    std::string label;
    size_t limit;
  };
  for (const Case &c :
       {Case{studyLabel(record("C", longText, "")), 257}, Case{seriesLabel(record("", "", longText), 0), 127},
        Case{seriesLabel(record("", "", "a" + longText), 0), 127}}) {
    EXPECT_LE(c.label.size(), c.limit);
    EXPECT_GE(c.label.size(), c.limit - 1);
    EXPECT_TRUE(g_utf8_validate(c.label.data(), static_cast<gssize>(c.label.size()), nullptr));
  }
  std::string odd = seriesLabel(record("", "", "Seria \xB3\xF3"), 0);
  EXPECT_TRUE(g_utf8_validate(odd.data(), static_cast<gssize>(odd.size()), nullptr));
  EXPECT_EQ(odd.rfind("Seria ", 0), 0u);
}

TEST_F(TreeBuildingTest, BranchesFollowTheRecordsByPosition) {
  // REFIMG: three studies (the third has no record), a stray file at each
  // level, the first study with four series (the fourth has no record), the
  // second study without series.
  medium_.writeFile("REFIMG/readme.txt", "x");
  medium_.writeFile("REFIMG/A/notes.txt", "x");
  medium_.writePicture("REFIMG/A/S1/1.png", 8, 8);
  medium_.writePicture("REFIMG/A/S1/2.png", 8, 8);
  medium_.makeDirectory("REFIMG/A/S2");
  medium_.writePicture("REFIMG/A/S3/1.png", 8, 8);
  medium_.writePicture("REFIMG/A/S4/1.png", 8, 8);
  medium_.makeDirectory("REFIMG/B");
  medium_.writePicture("REFIMG/C/S1/1.png", 8, 8);
  StudyMetadataIndex[0][0] = {record("CT", "Głowa", "Osiowa")};
  StudyMetadataIndex[0][1] = {record("CT", "Głowa", "Czołowa")};
  StudyMetadataIndex[0][2] = {record("CT", "Głowa", "")};
  StudyMetadataIndex[1][0] = {record("MR", "", "T1")};

  ThumbnailMap thumbnails = build();
  EXPECT_TRUE(traced_.find("return empty") == std::string::npos);
  EXPECT_TRUE(mediumReadable);

  EXPECT_EQ(labelsUnder(nullptr), (std::vector<std::string>{"CT [Głowa]", "MR []"}));
  GtkWidget *first = childBranch(tree_, nullptr, 0);
  EXPECT_EQ(labelsUnder(first), (std::vector<std::string>{"Osiowa", "Czołowa", "Seria 3"}));
  EXPECT_FALSE(gtk_widget_get_visible(childrenContainer(first))) << "a new tree shows only the studies";
  GtkWidget *second = childBranch(tree_, nullptr, 1);
  EXPECT_EQ(childrenOf(second).size(), 1u) << "a study without series has no children container";

  ASSERT_EQ(thumbnails.size(), 2u);
  EXPECT_TRUE(thumbnails.at(1).empty());
  const SeriesThumbnails &series = thumbnails.at(0);
  ASSERT_EQ(series.size(), 3u);
  EXPECT_EQ(series.at(0).size(), 2u);
  EXPECT_TRUE(series.at(1).empty());
  ASSERT_EQ(series.at(2).size(), 1u);
  GtkWidget *thirdSeries = childBranch(tree_, first, 2);
  EXPECT_EQ(branchWidget(childBranch(tree_, thirdSeries, 0)), series.at(2).at(0));
  EXPECT_EQ(loadedImageCount, 3) << "the fourth series and the third study are not loaded";
}

TEST_F(TreeBuildingTest, APictureThatCannotBeDecodedLeavesTheRestOfTheBuild) {
  medium_.writePicture("REFIMG/A/S1/1.png", 8, 8);
  medium_.writeFile("REFIMG/A/S2/1.png", "\x89PNG\r\n\x1a\n broken");
  medium_.writePicture("REFIMG/B/S1/1.png", 8, 8);
  StudyMetadataIndex[0][0] = {record("CT", "", "")};
  StudyMetadataIndex[0][1] = {record("CT", "", "")};
  StudyMetadataIndex[1][0] = {record("MR", "", "")};

  EXPECT_EQ(build().at(0).at(1).size(), 1u) << "its placeholder";
  EXPECT_TRUE(mediumReadable);
  EXPECT_EQ(labelsUnder(nullptr).size(), 2u) << "the second study is built";
}

TEST_F(TreeBuildingTest, NothingIsBuiltWithoutRefimgOrRecords) {
  StudyMetadataIndex[0][0] = {record("CT", "", "")};
  mediumReadable = false;
  EXPECT_TRUE(build().empty()) << "missing REFIMG";
  medium_.writeFile("REFIMG", "a file");
  EXPECT_TRUE(build().empty()) << "REFIMG is a file";
  EXPECT_TRUE(mediumReadable) << "raised once REFIMG exists";
  fs::remove("REFIMG");

  medium_.writePicture("REFIMG/A/S1/1.png", 8, 8);
  StudyMetadataIndex.clear();
  EXPECT_TRUE(build().empty()) << "no records";
  EXPECT_TRUE(labelsUnder(nullptr).empty());
  EXPECT_EQ(traced_, "");
}

}  // namespace
