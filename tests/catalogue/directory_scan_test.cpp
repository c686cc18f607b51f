// Walks of the DICOM tree and the picture count: positions, paths, bad entries.
#include "catalogue/directory_scan.h"

#include "catalogue/reference_catalogue.h"
#include "support/scoped_medium.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = boost::filesystem;

namespace {

// Makes `directory` the current one for a test's block and returns afterwards.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::string &directory) : previous_(fs::current_path()) {
    fs::current_path(directory);
  }
  ~ScopedCurrentDirectory() {
    boost::system::error_code error;
    fs::current_path(previous_, error);
  }

 private:
  fs::path previous_;
};

TEST(DirectoryScan, CountsEveryRegularFileOnceAndEndsOnLinkLoops) {
  testsupport::ScopedMedium medium;
  medium.writeFile("lone.png", "x");
  medium.makeDirectory("empty");
  medium.writeFile("REFIMG/ST1/SE1/a.png", "x");
  medium.writeFile("REFIMG/ST1/SE1/b.png", "x");
  medium.writeFile("REFIMG/ST1/SE2/small/c.png", "x");
  medium.writeFile("REFIMG/top.txt", "x");
  fs::create_directory_symlink("..", medium.path("REFIMG/ST1/SE1/up"));     // loop to an ancestor
  fs::create_directory_symlink(".", medium.path("REFIMG/ST1/SE2/self"));    // loop to itself
  fs::create_directory_symlink("SE1", medium.path("REFIMG/ST1/SE1again"));  // the same folder twice
  fs::create_symlink("missing.png", medium.path("REFIMG/ST1/SE2/dangling.png"));
  fs::create_symlink("a.png", medium.path("REFIMG/ST1/SE1/linked.png"));  // a file through a link counts
  ::mkfifo(medium.path("REFIMG/ST1/pipe").c_str(), 0600);

  const struct {
    std::string path;
    int count;
  } cases[] = {
      {medium.path("lone.png"), 1},        {medium.path("missing"), 0},
      {medium.path("empty"), 0},           {medium.path("REFIMG"), 5},
      {medium.path("REFIMG/ST1/SE2"), 1},  {medium.path("REFIMG/ST1/SE1/up"), 4},
      {medium.path("REFIMG/ST1/pipe"), 1}, {"REFIMG", 5},
  };
  for (const auto &c : cases) EXPECT_EQ(countRegularFiles(c.path), c.count) << c.path;
}

TEST(DirectoryScan, OrdinalsCountOnlyDirectoriesAndTheFirstFileStandsForItsSeries) {
  testsupport::ScopedMedium medium;
  medium.writeFile("DICOM/0README", "x");    // sorts first: a file takes no ordinal
  medium.writeFile("DICOM/ST01/IM_X", "x");  // a file in a study takes none either
  medium.writeFile("DICOM/ST01/SE01/IM02", "x");
  medium.writeFile("DICOM/ST01/SE01/IM01", "x");
  medium.writeFile("DICOM/ST01/SE01/IM03", "x");
  medium.makeDirectory("DICOM/ST01/SE02/NESTED");  // only subfolders: an empty list
  medium.writeFile("DICOM/ST01/SE03/A_SUB/IM00", "x");
  medium.writeFile("DICOM/ST01/SE03/B_IM", "x");
  medium.makeDirectory("DICOM/ST02");
  fs::create_symlink("nowhere", medium.path("DICOM/ST02/SE00"));  // cannot be examined: no ordinal
  medium.writeFile("DICOM/ST02/SE01/IM01", "x");
  fs::create_directory_symlink(medium.path("DICOM/ST01"), medium.path("DICOM/ST03"));  // entered before
  fs::create_directory_symlink("..", medium.path("DICOM/ST02/SE02"));                  // its own ancestor
  medium.writeFile("DICOM/ST04/SE01/IM01", "x");

  const DicomFileMap expected = {
      {0, {{0, {"DICOM/ST01/SE01/IM01"}}, {1, {}}, {2, {"DICOM/ST01/SE03/B_IM"}}}},
      {1, {{0, {"DICOM/ST02/SE01/IM01"}}}},
      {2, {{0, {"DICOM/ST04/SE01/IM01"}}}},
  };
  EXPECT_EQ(scanDicomTree(medium.path("DICOM")), expected);
  EXPECT_EQ(scanDicomStudy(medium.path("DICOM/ST01")), expected.at(0));
  EXPECT_EQ(firstDicomFile(medium.path("DICOM/ST01/SE01")), expected.at(0).at(0));
  EXPECT_EQ(firstDicomFile("DICOM/ST01/SE01"), expected.at(0).at(0));  // relative: made absolute first

  EXPECT_TRUE(scanDicomTree(medium.path("NO_DICOM")).empty());
  EXPECT_TRUE(scanDicomTree(medium.path("DICOM/0README")).empty());
  EXPECT_TRUE(scanDicomStudy(medium.path("DICOM/ST99")).empty());
  EXPECT_TRUE(firstDicomFile(medium.path("DICOM/ST01/SE01/IM01")).empty());
  EXPECT_TRUE(firstDicomFile(medium.path("DICOM/ST01/SE99")).empty());
}

TEST(DirectoryScan, RelativePathsBeginAtTheMediumsDicomFolderEvenUnderARootNamedLikeIt) {
  testsupport::ScopedMedium medium;
  medium.writeFile("PACS_DICOM_CD/DICOM/ST1/SE1/IM1", "x");
  medium.writeFile("plain/SERIES/IM1", "x");
  {
    ScopedCurrentDirectory inside(medium.path("PACS_DICOM_CD"));
    const DicomFileMap expected = {{0, {{0, {"DICOM/ST1/SE1/IM1"}}}}};
    EXPECT_EQ(scanDicomTree(fs::absolute("DICOM")), expected);
    EXPECT_EQ(firstDicomFile("DICOM/ST1/SE1"), expected.at(0).at(0));
  }
  // A file whose path holds no "DICOM" at all is passed over.
  EXPECT_TRUE(firstDicomFile(medium.path("plain/SERIES")).empty());
}

}  // namespace
