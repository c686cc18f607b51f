// Paths relative to the medium root, cut at the medium's own top folder.
#include "catalogue/medium_relative_path.h"

#include <gtest/gtest.h>
#include <boost/filesystem/path.hpp>

namespace {

TEST(MediumRelativePath, CutsAtTheTopFolderAfterTheRoot) {
  struct Case {
    const char *written, *folder, *root;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"/media/cd/DICOM/ST1/SE1/IM1", "DICOM", "/media/cd", "DICOM/ST1/SE1/IM1"},
      {"/media/cd/DICOM/ST1/SE1/IM1", "DICOM", "/media/cd/", "DICOM/ST1/SE1/IM1"},
      // The root's own name holds the folder's name: not cut there.
      {"/media/PACS_DICOM_CD/DICOM/ST1/SE1/IM1", "DICOM", "/media/PACS_DICOM_CD", "DICOM/ST1/SE1/IM1"},
      {"/home/DICOM/DICOM/ST1/SE1/IM1", "DICOM", "/home/DICOM", "DICOM/ST1/SE1/IM1"},
      {"/REFIMG/REFIMG/S/REFIMG/a.jpg", "REFIMG", "/REFIMG", "REFIMG/S/REFIMG/a.jpg"},
      // A root that is only a prefix of a folder name is not the root.
      {"/media/cdrom2/DICOM/a", "DICOM", "/media/cd", "DICOM/a"},
      // Outside the root: the first occurrence.
      {"/other/PACS_DICOM/DICOM/a", "DICOM", "/media/cd", "DICOM/DICOM/a"},
      {"/media/cd/PICS/a.jpg", "REFIMG", "/media/cd", std::nullopt},
      {"/media/cd/DICOM/a", "DICOM", "", "DICOM/a"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(pathFromMediumFolder(c.written, c.folder, c.root), c.expected) << c.written;
  // Folders joined with the system's own separator ("\\" on Windows), in a root
  // whose path holds the name, as a disc copied to C:\DICOM\patient is.
  const std::string s(1, static_cast<char>(boost::filesystem::path::preferred_separator));
  EXPECT_EQ(pathFromMediumFolder("C:" + s + "DICOM" + s + "DICOM" + s + "ST1" + s + "SE1/IM1", "DICOM",
                                 "C:" + s + "DICOM"),
            "DICOM" + s + "ST1" + s + "SE1/IM1");
}

}  // namespace
