// The wrapper page of an HTML report: its exact bytes against a page written
// by hand, and where and how it is written.
#include "descriptions/wrapper_page.h"

#include "base/tmp_directory.h"
#include "support/scoped_medium.h"

#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include <sys/stat.h>

namespace {

using testsupport::readFile;
using testsupport::ScopedMedium;
namespace fs = boost::filesystem;

const std::string kGoldenReport = "<h1>Opis badania TK</h1>\n<p>Wynik prawid\xB3owy.</p>";

std::string golden() {
  return readFile(std::string(VELMORA_TEST_DATA_DIR) + "/descriptions/wrapper_page_golden.html");
}

TEST(WrapperPage, MatchesThePageWrittenByHand) {
  std::string expected = golden();
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(wrapperPageText(kGoldenReport), expected);
}

TEST(WrapperPage, ReportEndsAtItsFirstNulAndAMissingReportLeavesTheHeadAlone) {
  std::string expected = golden();
  using namespace std::string_literals;
  EXPECT_EQ(wrapperPageText(kGoldenReport + "\0ignored"s), expected);
  EXPECT_EQ(wrapperPageText(std::nullopt), wrapperPageHead());
  EXPECT_EQ(wrapperPageText(std::string()), wrapperPageHead() + wrapperPageTail());
  EXPECT_EQ(expected.compare(0, wrapperPageHead().size(), wrapperPageHead()), 0);
}

class WrapperPageFileTest : public testing::Test {
 protected:
  void SetUp() override {
    testing::internal::CaptureStdout();
    createTmpDirectory();
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(tmpDirectoryUsable());
  }
  void TearDown() override { removeTmpDirectory(); }
  ScopedMedium medium_;  // made before the working directory: its current directory is the medium
};

TEST_F(WrapperPageFileTest, PageOfAReportInAFolderIsWrittenIntoAPrivateFolderOfTheSameName) {
  medium_.writeFile("badania/2024/opis.html", kGoldenReport);
  ASSERT_TRUE(writeWrapperPage("badania/2024/opis.html"));
  EXPECT_EQ(wrapperPagePath("badania/2024/opis.html"), tmpDirectory + "/badania/2024/opis.html");
  EXPECT_EQ(readFile(tmpPath("/badania/2024/opis.html")), golden());
  struct stat info;
  ASSERT_EQ(stat(tmpPath("/badania").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(WrapperPageFileTest, LongNamesAreWrittenWhole) {
  std::string entry = std::string(200, 'o') + ".html";
  medium_.writeFile(entry, "<p/>");
  ASSERT_TRUE(writeWrapperPage(entry));
  EXPECT_EQ(readFile(tmpPath("/" + entry)), wrapperPageText(std::string("<p/>")));
}

}  // namespace
