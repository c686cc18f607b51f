// Opening a DICOMDIR, a folder or files, and refusing what cannot be shown
// with a line of its own.
#include "imaging/examination.h"
#include "imaging/dicom_decoders.h"
#include "imaging/dicom_image_file.h"
#include "imaging/view_state.h"
#include "support/scratch_folder.h"
#include "support/viewer_images.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

using namespace testsupport;

namespace {

// Three CT slices (the second with three frames) under DICOM/, and one more
// file that is no DICOM at all.
void writeMedium(const ScratchFolder &medium) {
  g_mkdir_with_parents(medium.path("DICOM").c_str(), 0700);
  for (int i = 1; i <= 3; ++i) {
    TestImage image;
    image.instance = 4 - i;  // written in reverse order
    image.frames = i == 2 ? 3 : 1;
    ASSERT_TRUE(writeTestImage(medium.path("DICOM/IM" + std::to_string(i)), image));
  }
  std::ofstream(medium.path("DICOM/README.TXT")) << "opis";
}

std::string firstProblem(const Examination &examination) {
  return examination.problems.empty() ? "" : examination.problems.front();
}

}  // namespace

TEST(Examination, OpensDicomdirFolderOrFilesAndSaysWhatItLeftOut) {
  struct Case {
    const char *name;
    std::function<std::vector<std::string>(const ScratchFolder &)> prepare;
    size_t series;
    long images;
    const char *problem;
    const char *firstFile;  // slices come in instance order: IM3 holds instance 1
  };
  const Case cases[] = {
      {"DICOMDIR",
       [](const ScratchFolder &m) {
         writeTestDicomDirectory(m.path("DICOMDIR"), {"DICOM\\IM3", "DICOM\\IM2", "DICOM\\IM1"});
         return std::vector<std::string>{m.path("DICOMDIR")};
       },
       1, 3, "", "IM3"},
      {"folder with its DICOMDIR, references leaving it or missing",
       [](const ScratchFolder &m) {
         writeTestDicomDirectory(m.path("DICOMDIR"), {"DICOM\\IM3", "..\\..\\etc\\passwd", "DICOM\\IM9"});
         return std::vector<std::string>{m.root()};
       },
       1, 1, "DICOMDIR wskazuje plik poza nośnikiem: „..\\..\\etc\\passwd”", "IM3"},
      {"damaged DICOMDIR: the folder is scanned",
       [](const ScratchFolder &m) {
         std::ofstream(m.path("DICOMDIR")) << "nie DICOM";
         return std::vector<std::string>{m.path("DICOMDIR")};
       },
       1, 5, "DICOMDIR jest uszkodzony: pokazano pliki znalezione w folderze", "IM3"},
      {"folder without DICOMDIR", [](const ScratchFolder &m) { return std::vector<std::string>{m.root()}; },
       1, 5, "", "IM3"},
      {"single files, one of them no DICOM",
       [](const ScratchFolder &m) {
         return std::vector<std::string>{m.path("DICOM/IM2"), m.path("DICOM/README.TXT")};
       },
       1, 3, "README.TXT: to nie jest poprawny plik DICOM", "IM2"},
  };
  for (const Case &row : cases) {
    SCOPED_TRACE(row.name);
    ScratchFolder medium;
    writeMedium(medium);
    Examination examination = openExamination(row.prepare(medium));
    auto series = examination.allSeries();
    ASSERT_EQ(series.size(), row.series);
    // A DICOMDIR's records give no frame count: it is learnt when decoded.
    EXPECT_EQ(series.front()->imageCount(), row.images);
    EXPECT_EQ(series.front()->modality, "CT");
    if (*row.problem == '\0')
      EXPECT_EQ(firstProblem(examination), "");
    else
      EXPECT_NE(firstProblem(examination).find(row.problem), std::string::npos) << firstProblem(examination);
    EXPECT_NE(series.front()->slice(0).path.find(row.firstFile), std::string::npos);
  }
}

TEST(Examination, HostileImagesGiveAPolishLineInsteadOfAFrame) {
  DicomImageDecoders decoders;
  struct Case {
    const char *name;
    std::function<void(DcmDataset &)> damage;
    const char *problem;
  };
  const Case cases[] = {
      {"pixel data shorter than declared", [](DcmDataset &d) { d.putAndInsertUint16(DCM_Rows, 4000); },
       "dane obrazu są krótsze, niż podaje nagłówek"},
      {"65535 × 65535 declared",
       [](DcmDataset &d) {
         d.putAndInsertUint16(DCM_Rows, 65535);
         d.putAndInsertUint16(DCM_Columns, 65535);
       },
       "obraz 65535 × 65535 jest zbyt duży"},
      {"frames beyond the file", [](DcmDataset &d) { d.putAndInsertString(DCM_NumberOfFrames, "100001"); },
       "plik deklaruje zbyt wiele klatek"},
      {"deep sequences",
       [](DcmDataset &d) {
         DcmItem *item = &d;
         for (int depth = 0; depth < 3000; ++depth)
           item->findOrCreateSequenceItem(DCM_ReferencedImageSequence, item);
       },
       "plik przekracza granice odczytu"},
      {"24 bits", [](DcmDataset &d) { d.putAndInsertUint16(DCM_BitsAllocated, 24); },
       "obraz o budowie pikseli, której ta przeglądarka nie obsługuje"},
      {"32 bits over more than 65,536 levels",
       [](DcmDataset &d) {
         std::vector<Uint16> words(2 * 64 * 64, 0);
         words[1] = 0xFFFF;
         d.putAndInsertUint16(DCM_BitsAllocated, 32), d.putAndInsertUint16(DCM_BitsStored, 32);
         d.putAndInsertUint16(DCM_HighBit, 31);
         d.putAndInsertUint16Array(DCM_PixelData, words.data(), static_cast<unsigned long>(words.size()));
       },
       "obejmują więcej niż 65 536 poziomów"},
      {"no pixel data", [](DcmDataset &d) { delete d.remove(DCM_PixelData); },
       "plik nie zawiera danych obrazu"},
  };
  ScratchFolder scratch;
  for (const Case &row : cases) {
    SCOPED_TRACE(row.name);
    const std::string path = scratch.path("IM");
    ASSERT_TRUE(writeTestImage(path, TestImage()));
    DcmFileFormat file;
    ASSERT_TRUE(file.loadFile(path.c_str()).good());
    row.damage(*file.getDataset());
    ASSERT_TRUE(file.saveFile(path.c_str(), EXS_LittleEndianExplicit).good());
    DecodedFrame frame = decodeImageFrame(path, 0);
    EXPECT_FALSE(frame.ok());
    EXPECT_NE(frame.problem.find(row.problem), std::string::npos) << frame.problem;
    EXPECT_TRUE(frame.levels.empty() && frame.rgb.empty());
  }
}

TEST(ImageAttributes, CineRateAndTheNoteOnImagesWithoutModalityUnits) {
  struct Case {
    const char *name;
    std::vector<std::tuple<unsigned, unsigned, std::string>> more;
    double framesPerSecond;  // 0: none
    bool note;
  };
  const unsigned time = 0x1063, vector = 0x1065, recommended = 0x2144, cine = 0x0040, intercept = 0x1052;
  const Case cases[] = {
      {"Frame Time", {{0x18, time, "33.3"}}, 1000 / 33.3, true},
      {"Frame Time Vector", {{0x18, vector, "0\\40\\40\\40"}}, 25, true},
      {"Frame Time first", {{0x18, time, "100"}, {0x08, recommended, "30"}}, 10, true},
      {"Recommended Display Frame Rate", {{0x08, recommended, "15"}, {0x18, cine, "5"}}, 15, true},
      {"Cine Rate, Frame Time 0 passed over", {{0x18, time, "0"}, {0x18, cine, "8"}}, 8, true},
      {"rescaled: in modality units", {{0x28, intercept, "-1024"}}, 0, false},
  };
  ScratchFolder scratch;
  for (const Case &row : cases) {
    SCOPED_TRACE(row.name);
    TestImage image;
    image.frames = 3;
    image.more = row.more;
    ASSERT_TRUE(writeTestImage(scratch.path("IM"), image));
    ImageAttributes attributes;
    std::string problem;
    ASSERT_TRUE(readImageAttributes(scratch.path("IM"), attributes, problem)) << problem;
    EXPECT_NEAR(attributes.framesPerSecond.value_or(0), row.framesPerSecond, 1e-6);
    const auto lines = overlayLines(attributes, ViewState(), 1)[2];
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kWithoutModalityUnits), row.note ? 1 : 0);
  }
}
