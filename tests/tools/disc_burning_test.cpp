// Burning an image onto xorriso's file-backed pseudo drive and reading it back:
// a good burn verifies, a changed byte on the disc is found, a device that
// cannot be written is refused before anything is written.
#include "disc_image.h"
#include "support/scoped_medium.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>
#include <fstream>
#include <iterator>

namespace {

using testsupport::ScopedMedium;
namespace fs = boost::filesystem;

const char kMarked[] = "Ten plik zmieni się na płycie: 0123456789";

// Flips one byte of the marked file where the disc holds it.
void changeMarkedFile(const std::string &drive) {
  std::fstream disc(drive, std::ios::in | std::ios::out | std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(disc)), std::istreambuf_iterator<char>());
  const size_t at = bytes.find(kMarked);
  ASSERT_NE(at, std::string::npos);
  disc.seekp(static_cast<std::streamoff>(at));
  disc.put('X');
}

TEST(DiscBurning, ABurnIsReadBackAndEveryFileCheckedAgainstItsChecksums) {
  ScopedMedium medium;
  medium.writeFile("disc/DICOM/ST000001/IM000001", "DICM");
  medium.writeFile("disc/opisy/opis.txt", kMarked);
  medium.writeFile("disc/README.TXT", "Disc\r\n");
  fs::create_directories(medium.path("folder"));
  const std::string image = medium.path("disc.iso");
  std::string error;
  ASSERT_TRUE(discimage::makeDiscImage(medium.path("disc"), image, "", &error)) << error;
  struct Row {
    const char *what;
    std::string device;
    bool changeByte, cancel, burnt;
    std::string message;
  } rows[] = {
      {"a new pseudo drive", "stdio:" + medium.path("drive.img"), false, false, true, ""},
      {"a byte changed on the disc", "stdio:" + medium.path("changed.img"), true, false, false,
       "verification failed: 1 file does not match SHA256SUMS (opisy/opis.txt differs"},
      {"a folder", "stdio:" + medium.path("folder"), false, false, false, "a folder, not a drive"},
      {"a folder that does not exist", "stdio:" + medium.path("none/drive.img"), false, false, false,
       "cannot be written (its folder"},
      {"a drive that does not exist", medium.path("no-drive"), false, false, false, "no such drive"},
      {"interrupted", "stdio:" + medium.path("stopped.img"), false, true, false, "interrupted"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    const std::string file = row.device.substr(row.device.rfind("stdio:", 0) == 0 ? 6 : 0);
    std::atomic<bool> cancel{row.cancel};
    size_t verified = 0;
    error.clear();
    const bool burnt = discimage::burnImage(image, row.device, &verified, &error, &cancel,
                                            [&] { row.changeByte ? changeMarkedFile(file) : void(); });
    EXPECT_EQ(burnt, row.burnt) << error;
    EXPECT_NE(error.find(row.message), std::string::npos) << error;
    EXPECT_EQ(verified, row.burnt ? 3u : 0u);
    // Only a verified burn leaves its pseudo drive, and never a read-back copy.
    if (row.device.find("folder") == std::string::npos) {
      EXPECT_EQ(g_file_test(file.c_str(), G_FILE_TEST_EXISTS), row.burnt);
    }
    for (const auto &entry : fs::directory_iterator(medium.path("")))
      EXPECT_EQ(entry.path().filename().string().find(".readback"), std::string::npos);
  }
}

}  // namespace
