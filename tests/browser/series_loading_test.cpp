// Loading a series folder into thumbnails: the pictures, the progress bar, the
// "small" rule, and a picture that cannot be read.
#include "browser/series_loading.h"

#include "browser/full_pictures.h"
#include "browser/load_progress.h"
#include "browser/thumbnail_index.h"
#include "browser/unreadable_picture.h"
#include "catalogue/reference_catalogue.h"
#include "ui/palette.h"
#include "ui/ui_state.h"

#include "support/gui.h"
#include "support/scoped_medium.h"

#include <gtest/gtest.h>

#include <regex>
#include <utility>

namespace {

using namespace testsupport;
namespace fs = boost::filesystem;

struct Step {
  std::string text;
  double fraction;
};

void recordStep(GObject *bar, GParamSpec *, gpointer data) {
  static_cast<std::vector<Step> *>(data)->push_back({gtk_progress_bar_get_text(GTK_PROGRESS_BAR(bar)),
                                                     gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(bar))});
}

// A window holding the progress bar and a tree with one study and one series
// branch (indices 0, 0), as the tree building leaves them before loading.
class SeriesLoadingTest : public testing::Test {
 protected:
  void SetUp() override {
    parsePalette();
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget *box = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window_), box);
    loadProgressBar = gtk_progress_bar_new();
    gtk_box_pack_start(GTK_BOX(box), loadProgressBar, FALSE, FALSE, 0);
    createTreeRoot(tree_);
    gtk_box_pack_start(GTK_BOX(box), treeOuterEventBox(tree_), TRUE, TRUE, 0);
    gtk_widget_show_all(window_);
    g_signal_connect(loadProgressBar, "notify::text", G_CALLBACK(recordStep), &steps_);
    GtkWidget *study = newLabelBranch("CT [Głowa]", 0);
    attachBranch(tree_, study, nullptr);
    attachBranch(tree_, newLabelBranch("Seria 1", 1), childrenContainer(study));
    mediumReadable = true;
  }
  void TearDown() override {
    gtk_widget_destroy(window_);
    loadProgressBar = nullptr;
    loadedImageCount = totalImageCount = 0;
    mediumReadable = true;
  }
  // Loads with the trace captured.
  std::vector<GtkWidget *> load(const std::string &seriesDir, int study = 0, int series = 0) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    std::vector<GtkWidget *> images = loadSeriesImages(tree_, study, series, fs::current_path() / seriesDir);
    traced_ = testing::internal::GetCapturedStdout();
    errors_ = testing::internal::GetCapturedStderr();
    return images;
  }
  GtkWidget *seriesChildren() {
    return childrenContainer(childBranch(tree_, childBranch(tree_, nullptr, 0), 0));
  }

  ScopedMedium medium_;
  BranchTree tree_;
  GtkWidget *window_ = nullptr;
  std::vector<Step> steps_;
  std::string traced_;
  std::string errors_;
};

TEST(LoadProgress, FractionAndText) {
  struct Case {
    int loaded, total;
    double fraction;
    const char *text;
  };
  for (Case c : {Case{0, 10, 0.0, "Ładowanie obrazów: 0%"}, Case{5, 10, 0.5, "Ładowanie obrazów: 50%"},
                 Case{3, 0, 0.0, "Ładowanie obrazów: 0%"}, Case{12, 10, 1.0, "Ładowanie obrazów: 100%"},
                 Case{1, 300, 1.0 / 300, "Ładowanie obrazów: 0%"},
                 Case{299, 300, 299.0 / 300, "Ładowanie obrazów: 100%"}}) {
    double fraction = loadProgressFraction(c.loaded, c.total);
    EXPECT_DOUBLE_EQ(fraction, c.fraction) << c.loaded << "/" << c.total;
    EXPECT_EQ(loadProgressText(fraction), c.text) << c.loaded << "/" << c.total;
  }
}

TEST(PicturePaths, RelativeFromTheFirstRefimgAndTheSmallRule) {
  EXPECT_EQ(relativePicturePath("/media/cd/REFIMG/ST1/SE1/a.jpg", "/media/cd"), "REFIMG/ST1/SE1/a.jpg");
  EXPECT_EQ(relativePicturePath("/x/REFIMG/REFIMG/a.jpg", "/x"), "REFIMG/REFIMG/a.jpg");
  EXPECT_EQ(relativePicturePath("/media/REFIMG_CD/REFIMG/a.jpg", "/media/REFIMG_CD"), "REFIMG/a.jpg");
  EXPECT_THROW(relativePicturePath("/media/cd/PICS/a.jpg", "/media/cd"), std::out_of_range);
  EXPECT_TRUE(isSmallPicture("REFIMG/smallbowel/SE1/a.jpg"));
  EXPECT_TRUE(isSmallPicture("REFIMG/ST1/SE1/a_small.jpg"));
  EXPECT_FALSE(isSmallPicture("REFIMG/ST1/SE1/Small.jpg"));
}

TEST_F(SeriesLoadingTest, PictureBecomesAStretchedThumbnailKeepingTheFullPicture) {
  medium_.writePicture("REFIMG/ST1/SE1/a.jpg", 512, 256);
  medium_.writePicture("REFIMG/ST1/SE1/a_small.jpg", 64, 64);
  totalImageCount = 2;
  std::vector<GtkWidget *> images = load("REFIMG/ST1/SE1");

  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(loadedImageCount, 2) << "the small picture is counted too";
  GtkWidget *image = images[0];
  GdkPixbuf *shown = gtk_image_get_pixbuf(GTK_IMAGE(image));
  EXPECT_EQ(gdk_pixbuf_get_width(shown), 128);
  EXPECT_EQ(gdk_pixbuf_get_height(shown), 128);
  PixbufPtr original = fullPicture(image);
  ASSERT_NE(original, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(original.get()), 512);
  EXPECT_EQ(gdk_pixbuf_get_height(original.get()), 256);
  EXPECT_TRUE(std::regex_search(traced_, std::regex("^orig_pixbuf = 0x[0-9a-f]+\n$"))) << traced_;

  // The thumbnail is a level-2 picture branch under the series branch.
  std::vector<GtkWidget *> branches = childrenOf(seriesChildren());
  ASSERT_EQ(branches.size(), 1u);
  EXPECT_EQ(branchWidget(branches[0]), image);
  guint top, bottom, left, right;
  gtk_alignment_get_padding(GTK_ALIGNMENT(findWidget(branches[0], "branch-align")), &top, &bottom, &left,
                            &right);
  EXPECT_EQ(left, 30u);

  // The frame's pointer handlers are the browser's.
  expandPathTo(image);
  GtkWidget *frame = gtk_widget_get_parent(image);
  sendCrossing(frame, GDK_ENTER_NOTIFY);
  EXPECT_EQ(gtk_widget_get_style(frame)->bg[GTK_STATE_NORMAL].red, colorGrey.red);
  sendCrossing(frame, GDK_LEAVE_NOTIFY);
  EXPECT_EQ(gtk_widget_get_style(frame)->bg[GTK_STATE_NORMAL].red, colorBlack.red);
}

TEST_F(SeriesLoadingTest, EveryEntryIsAProgressStepShownInWholePercent) {
  for (int i = 0; i < 10; ++i) medium_.writePicture("REFIMG/ST1/SE1/" + std::to_string(i) + ".png", 8, 8);
  totalImageCount = 10;
  gtk_progress_bar_set_text(GTK_PROGRESS_BAR(loadProgressBar), "");
  steps_.clear();
  EXPECT_EQ(load("REFIMG/ST1/SE1").size(), 10u);

  EXPECT_EQ(loadedImageCount, 10);
  ASSERT_EQ(steps_.size(), 10u);
  EXPECT_EQ(steps_[0].text, "Ładowanie obrazów: 0%");
  EXPECT_DOUBLE_EQ(steps_[0].fraction, 0.0);
  EXPECT_EQ(steps_[5].text, "Ładowanie obrazów: 50%");
  EXPECT_DOUBLE_EQ(steps_[5].fraction, 0.5);
  EXPECT_EQ(steps_[9].text, "Ładowanie obrazów: 90%");
}

TEST_F(SeriesLoadingTest, EntriesWithoutThumbnailsStillAdvanceWhenNothingWasCounted) {
  medium_.makeDirectory("REFIMG/ST1/SE1/sub1");
  medium_.makeDirectory("REFIMG/ST1/SE1/sub2");
  medium_.writePicture("REFIMG/ST1/SE1/x.png", 8, 8);
  totalImageCount = 0;
  gtk_progress_bar_set_text(GTK_PROGRESS_BAR(loadProgressBar), "");
  steps_.clear();
  EXPECT_EQ(load("REFIMG/ST1/SE1").size(), 1u);
  EXPECT_EQ(loadedImageCount, 3);
  ASSERT_EQ(steps_.size(), 1u) << "the text stays the same after the first step";
  EXPECT_EQ(steps_[0].text, "Ładowanie obrazów: 0%");
  EXPECT_EQ(gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(loadProgressBar)), 0.0);
}

TEST_F(SeriesLoadingTest, SmallAnywhereInTheRelativePathOrAMissingBranchGivesNoThumbnails) {
  struct Case {
    const char *seriesDir;
    int study, series;
  };
  for (Case c :
       {Case{"REFIMG/smallbowel/SE1", 0, 0}, Case{"REFIMG/ST1/SE1", 0, 1}, Case{"REFIMG/ST1/SE1", 1, 0}}) {
    medium_.writePicture(std::string(c.seriesDir) + "/a.png", 8, 8);
    medium_.writePicture(std::string(c.seriesDir) + "/b.png", 8, 8);
    loadedImageCount = 0;
    EXPECT_TRUE(load(c.seriesDir, c.study, c.series).empty()) << c.seriesDir;
    EXPECT_EQ(loadedImageCount, 2) << c.seriesDir;
    EXPECT_TRUE(mediumReadable);
  }
  EXPECT_TRUE(childrenOf(seriesChildren()).empty());
  EXPECT_TRUE(load("REFIMG/ST1/missing").empty());
}

TEST_F(SeriesLoadingTest, PictureThatCannotBeDecodedIsAPlaceholderAndNonPicturesArePassedOver) {
  medium_.writeFile("REFIMG/ST1/SE1/0.jpg", "not a picture");
  medium_.writePicture("REFIMG/ST1/SE1/1.png", 8, 8);
  medium_.writeFile("REFIMG/ST1/SE1/2.jpg", "\xFF\xD8\xFF damaged");
  medium_.writePicture("REFIMG/ST1/SE1/3.png", 8, 8);
  std::vector<GtkWidget *> images = load("REFIMG/ST1/SE1");
  ASSERT_EQ(images.size(), 3u);
  EXPECT_TRUE(mediumReadable);
  EXPECT_EQ(loadedImageCount, 4);
  EXPECT_EQ(traced_.rfind("pominięty \"REFIMG/ST1/SE1/0.jpg\": no picture signature\n", 0), 0u) << traced_;
  EXPECT_NE(traced_.find("orig_pixbuf = 0\nnie można odczytać obrazu: REFIMG/ST1/SE1/2.jpg: JPEG: "),
            std::string::npos)
      << traced_;
  EXPECT_NE(errors_.find("\nnie można odczytać obrazu: REFIMG/ST1/SE1/2.jpg: JPEG: "), std::string::npos)
      << errors_;
  EXPECT_EQ(errors_.back(), '\n');
  EXPECT_EQ(gtk_image_get_pixbuf(GTK_IMAGE(images[1])), unreadablePicture());
}

TEST_F(SeriesLoadingTest, EntryThatFailsIsTracedWithItsQuotedName) {
  medium_.writePicture("PICS/ST1/SE1/x\"&y.png", 8, 8);
  EXPECT_TRUE(load("PICS/ST1/SE1").empty());
  EXPECT_EQ(traced_.rfind("wyjatek\"x&\"&&y.png\" ", 0), 0u) << traced_;
  EXPECT_EQ(loadedImageCount, 0) << "no progress step for a failed entry";
  EXPECT_TRUE(mediumReadable);
}

}  // namespace
