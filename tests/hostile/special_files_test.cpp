// Files on a hostile medium that are no files: pipes, devices and huge sparse
// files where the navigator reads a list or a picture. Nothing waits on them,
// nothing reads them without end; they count as missing or unreadable.
#include "app/tmp_directory.h"
#include "platform/platform.h"

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

}  // namespace
