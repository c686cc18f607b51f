// Picture kinds told from leading bytes, from memory and from files.
#include "catalogue/picture_signature.h"

#include "support/scratch_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <cerrno>
#include <fstream>

namespace {

TEST(PictureSignature, TellsPicturesFromTheFilesDesktopFoldersCarry) {
  const struct {
    std::string bytes;
    PictureKind kind;
  } cases[] = {
      {std::string("\xFF\xD8\xFF\xE0\0\x10JFIF", 10), PictureKind::Jpeg},
      {"\x89PNG\r\n\x1A\n\0\0", PictureKind::Png},
      {"GIF89a\x01\0", PictureKind::Gif},
      {std::string("BM\x36\0\0\0\0\0\0\0\x36\0", 12), PictureKind::Bmp},
      {std::string("MM\0*\0\0\0\x08", 8), PictureKind::Tiff},
      {std::string("\0\0\1\0\1\0", 6), PictureKind::Other},
      {std::string("RIFF\x10\0\0\0WEBPVP8 ", 16), PictureKind::Other},
      {"P6\n2 2\n255\n", PictureKind::Other},
      {"", PictureKind::None},
      {"\xFF\xD8", PictureKind::None},
      {"BMW travel notes", PictureKind::None},
      {"[.ShellClassInfo]\r\n", PictureKind::None},                    // desktop.ini
      {"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", PictureKind::None},         // Thumbs.db
      {std::string("\0\0\0\1Bud1\0\0\x10\0", 12), PictureKind::None},  // .DS_Store
      {"<svg xmlns=\"http://www.w3.org/2000/svg\"/>", PictureKind::None},
      {std::string("RIFF\x10\0\0\0WAVEfmt ", 16), PictureKind::None},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(pictureKindOf(reinterpret_cast<const unsigned char *>(c.bytes.data()), c.bytes.size()), c.kind)
        << pictureKindName(c.kind) << " expected for " << c.bytes;
  }

  testsupport::ScratchFolder folder;
  std::ofstream(folder.path("a.png"), std::ios::binary) << "\x89PNG\r\n\x1A\n";
  std::ofstream(folder.path("empty.jpg")).close();
  ASSERT_EQ(mkfifo(folder.path("pipe.jpg").c_str(), 0600), 0);
  ASSERT_EQ(symlink("a.png", folder.path("link.png").c_str()), 0);
  const struct {
    std::string name;
    PictureKind kind;
    int error;
  } files[] = {{"a.png", PictureKind::Png, 0},          {"empty.jpg", PictureKind::None, 0},
               {"pipe.jpg", PictureKind::None, EINVAL}, {"link.png", PictureKind::None, ELOOP},
               {"", PictureKind::None, EISDIR},         {"gone.jpg", PictureKind::None, ENOENT}};
  for (const auto &f : files) {
    PictureSignatureRead read = readPictureSignature(folder.path(f.name));
    EXPECT_EQ(read.kind, f.kind) << f.name;
    EXPECT_EQ(read.error, f.error) << f.name;
  }
}

}  // namespace
