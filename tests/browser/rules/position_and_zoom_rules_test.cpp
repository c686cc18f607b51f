// The step buttons' position rules, the tree's scroll rule and the zoom sizes,
// called directly with tables, without a display.
#include "browser/rules/position_rules.h"
#include "browser/rules/zoom_rules.h"

#include <gtest/gtest.h>

#include <ostream>

std::ostream &operator<<(std::ostream &out, const BrowserPosition &p) {
  return out << "(" << p.study << ", " << p.series << ", " << p.image << ")";
}

namespace {

using Rule = BrowserPosition (*)(BrowserPosition, const CatalogueShape &);

struct StepCase {
  const char *what;
  Rule rule;
  BrowserPosition from;
  BrowserPosition to;
};

// Study 0: series of 3 and 2 images; study 1: one series of 4; study 2: a
// series of one, an empty series and a series of 2.
const CatalogueShape kShape = {{3, 2}, {4}, {1, 0, 2}};
const BrowserPosition kNone{-1, -1, -1};

TEST(StepRules, MoveWithinAndAcrossSeriesAndWrapAtTheEnds) {
  const StepCase cases[] = {
      {"next image from no position: first image of the first series", nextImagePosition, kNone, {0, 0, 0}},
      {"next image", nextImagePosition, {0, 0, 0}, {0, 0, 1}},
      {"next image from the last wraps to the first", nextImagePosition, {0, 0, 2}, {0, 0, 0}},
      {"next image stays in its series", nextImagePosition, {1, 0, 3}, {1, 0, 0}},
      {"next image in a series of one", nextImagePosition, {2, 0, 0}, {2, 0, 0}},
      {"next image in an empty series", nextImagePosition, {2, 1, 0}, {2, 1, 0}},
      {"previous image from no position: last image of the first series",
       previousImagePosition,
       kNone,
       {0, 0, 2}},
      {"previous image from the first wraps to the last", previousImagePosition, {0, 0, 0}, {0, 0, 2}},
      {"previous image", previousImagePosition, {0, 0, 2}, {0, 0, 1}},
      {"previous image in a series of one", previousImagePosition, {2, 0, 0}, {2, 0, 0}},
      {"previous image in an empty series", previousImagePosition, {2, 1, 0}, {2, 1, -1}},
      {"next series from no position: first series of the first study", nextSeriesPosition, kNone, {0, 0, 0}},
      {"next series starts at the first image", nextSeriesPosition, {0, 0, 2}, {0, 1, 0}},
      {"next series from a study's last series: the next study", nextSeriesPosition, {0, 1, 1}, {1, 0, 0}},
      {"next series into a study", nextSeriesPosition, {1, 0, 3}, {2, 0, 0}},
      {"next series onto an empty series", nextSeriesPosition, {2, 0, 0}, {2, 1, 0}},
      {"next series from the very last wraps to the first", nextSeriesPosition, {2, 2, 1}, {0, 0, 0}},
      {"previous series from no position: last series of the last study",
       previousSeriesPosition,
       kNone,
       {2, 2, 0}},
      {"previous series from the very first wraps to the last", previousSeriesPosition, {0, 0, 1}, {2, 2, 0}},
      {"previous series within a study", previousSeriesPosition, {0, 1, 1}, {0, 0, 0}},
      {"previous series from a study's first: the previous study's last",
       previousSeriesPosition,
       {1, 0, 2},
       {0, 1, 0}},
      {"previous series onto an empty series", previousSeriesPosition, {2, 2, 0}, {2, 1, 0}},
  };
  for (const StepCase &c : cases) EXPECT_EQ(c.rule(c.from, kShape), c.to) << c.what;
}

TEST(StepRules, SeriesStepsPassOverAStudyWithoutSeries) {
  const CatalogueShape shape = {{2}, {}, {3}};
  const StepCase cases[] = {
      {"into the study without series", nextSeriesPosition, {0, 0, 1}, {1, 0, 0}},
      {"and out of it again", nextSeriesPosition, {1, 0, 0}, {2, 0, 0}},
      {"after an image step left it at series 0", nextSeriesPosition, {1, 0, 0}, {2, 0, 0}},
      {"backwards into it", previousSeriesPosition, {2, 0, 0}, {1, -1, 0}},
      {"backwards out of it", previousSeriesPosition, {1, -1, 0}, {0, 0, 0}},
      {"image step inside it finds nothing", nextImagePosition, {1, 0, 0}, {1, 0, 0}},
  };
  for (const StepCase &c : cases) EXPECT_EQ(c.rule(c.from, shape), c.to) << c.what;
}

TEST(StepRules, AnEmptyCatalogueGivesPositionsWithoutPictures) {
  const CatalogueShape empty;
  const StepCase cases[] = {
      {"next image", nextImagePosition, kNone, {0, 0, 0}},
      {"previous image", previousImagePosition, kNone, {0, 0, -1}},
      {"next series", nextSeriesPosition, kNone, {0, 0, 0}},
      {"previous series", previousSeriesPosition, kNone, {-1, -1, 0}},
      {"next series again", nextSeriesPosition, {-1, -1, 0}, {0, 0, 0}},
  };
  for (const StepCase &c : cases) EXPECT_EQ(c.rule(c.from, empty), c.to) << c.what;
}

TEST(TreeScroll, SnapsNearTheEndsAndOtherwiseFollowsTheTarget) {
  struct Case {
    const char *what;
    int target, lastTarget;
    double upper, pageSize, value;
    double expected;
  } cases[] = {
      {"top of the tree", 0, 0, 1000, 400, 50, 0},
      {"within half a page of the top", 136, 300, 1000, 400, 250, 0},
      {"just below: moves by the target's move", 137, 100, 1000, 400, 10, 47},
      {"moving up", 300, 500, 1000, 400, 350, 150},
      {"just above the end", 735, 700, 1000, 400, 300, 335},
      {"near the end: snaps to the end", 736, 0, 1000, 400, 0, 600},
      {"first step after opening measures from 0", 500, 0, 1000, 400, 0, 500},
      {"never past the end", 600, 0, 1000, 400, 300, 600},
      {"tree shorter than the view", 40, 0, 300, 400, 0, 0},
  };
  for (const Case &c : cases)
    EXPECT_DOUBLE_EQ(treeScrollValue(c.target, c.lastTarget, c.upper, c.pageSize, c.value), c.expected)
        << c.what;
}

TEST(ZoomSizes, SidesStayBetweenTheSmallestAndLargestShownSide) {
  struct Case {
    int width, height;
    double factor;
    std::pair<int, int> shown;
  } cases[] = {
      {512, 512, 1.0, {512, 512}},   {300, 10, 1.0, {300, 20}},       {512, 512, 1.44, {737, 737}},
      {512, 512, 0.01, {20, 20}},    {1024, 1024, 10, {8192, 8192}},  {2000, 1000, 8, {8192, 4096}},
      {1000, 3000, 4, {2730, 8192}}, {8192, 8192, 1.0, {8192, 8192}},
  };
  for (const Case &c : cases)
    EXPECT_EQ(shownPictureSize(c.width, c.height, c.factor), c.shown)
        << c.width << " x " << c.height << " at " << c.factor;
}

TEST(ZoomSizes, ZoomingInGrowsByAStepUpToTheLargestShownSide) {
  struct Case {
    int width, height;
    double factor;
    double zoomed;
  } cases[] = {
      {512, 512, 1.0, 1.2},  {512, 512, 13.4, 16.0},         {512, 512, 16.0, 16.0},
      {100, 8192, 0.5, 0.6}, {100, 8192, 0.9, 1.0},          {8192, 100, 1.0, 1.0},
      {20, 20, 1e6, 1e6},    {6000, 30, 1.2, 8192 / 6000.0}, {4096, 2048, 2.0, 2.0},
  };
  for (const Case &c : cases)
    EXPECT_DOUBLE_EQ(zoomedInFactor(c.width, c.height, c.factor), c.zoomed)
        << c.width << " x " << c.height << " at " << c.factor;
}

}  // namespace
