// The sample medium generator: a generated disc carries the DICOM files,
// DICOMDIR, reference pictures, reports and program side that it promises.
#include "sample_medium.h"
#include "catalogue/directory_listing.h"
#include "dicom_files.h"
#include "examination_plan.h"
#include "platform/glib_owners.h"
#include "support/scoped_medium.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcmetinf.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <memory>
#include <set>

namespace fs = boost::filesystem;
using samplemedium::generateSampleMedium;
using samplemedium::SampleMediumOptions;
using samplemedium::SampleMediumSummary;

namespace {

std::vector<fs::path> subfolders(const fs::path &folder) {
  std::vector<fs::path> result;
  for (const fs::path &entry : sortedDirectoryEntries(folder))
    if (fs::is_directory(entry)) result.push_back(entry);
  return result;
}

std::vector<fs::path> files(const fs::path &folder) {
  std::vector<fs::path> result;
  for (const fs::path &entry : sortedDirectoryEntries(folder))
    if (fs::is_regular_file(entry)) result.push_back(entry);
  return result;
}

std::string attribute(DcmItem *item, const DcmTagKey &tag) {
  OFString value;
  return item->findAndGetOFStringArray(tag, value).good() ? value.c_str() : "<absent>";
}

std::string fromWindows1250(const std::string &bytes) {
  gsize written = 0;
  UniqueString text(g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8", "WINDOWS-1250",
                              nullptr, &written, nullptr));
  return text ? std::string(text.get(), written) : "";
}

// One ordinary sample disc, made once for all the tests of this file.
class SampleMedium : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    medium_ = new testsupport::ScopedMedium();
    root_ = medium_->path("disc");
    SampleMediumOptions options;
    options.toolDirectory = medium_->path("tools");
    medium_->writeFile("tools/dicomviewer-standin", "#!/bin/sh\n");
    medium_->writeFile("tools/dotnetfx-standin", "#!/bin/sh\n");
    std::string error;
    made_ = generateSampleMedium(root_, options, &summary_, &error);
    error_ = error;
  }
  static void TearDownTestSuite() {
    delete medium_;
    medium_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(made_) << error_; }

  static fs::path path(const std::string &relative) { return fs::path(root_) / relative; }

  static testsupport::ScopedMedium *medium_;
  static std::string root_, error_;
  static bool made_;
  static SampleMediumSummary summary_;
};

testsupport::ScopedMedium *SampleMedium::medium_ = nullptr;
std::string SampleMedium::root_, SampleMedium::error_;
bool SampleMedium::made_ = false;
SampleMediumSummary SampleMedium::summary_;

TEST(SampleMediumNames, PeselChecksumAndMediaNames) {
  const std::pair<const char *, bool> cases[] = {
      {"68031412340", true}, {"44051401359", true},  {"68031412341", false},
      {"6803141234", false}, {"6803141234a", false}, {"", false},
  };
  for (const auto &[pesel, valid] : cases)
    EXPECT_EQ(samplemedium::hasValidPeselChecksum(pesel), valid) << pesel;
  EXPECT_EQ(samplemedium::mediaName("ST", 1), "ST000001");
  EXPECT_EQ(samplemedium::mediaName("IM", 123456), "IM123456");
  EXPECT_EQ(samplemedium::encodeForCharacterSet("Wiśniewska", "ISO_IR 101"), "Wi\xB6niewska");
  EXPECT_EQ(samplemedium::encodeForCharacterSet("Wiśniewska", "ISO_IR 192"), "Wiśniewska");
}

TEST_F(SampleMedium, DicomFilesCarryTheirStudiesAttributesAndCharacterSets) {
  struct Expected {
    const char *sopClass, *modality, *characterSet, *patientName, *studyDescription;
  };
  const Expected expected[] = {
      {UID_CTImageStorage, "CT", "ISO_IR 192", "Wiśniewska^Zofia", "TK głowy bez kontrastu"},
      {UID_MRImageStorage, "MR", "ISO_IR 101", "Wi\xB6niewska^Zofia", "MR stawu kolanowego lewego"},
      {UID_ComputedRadiographyImageStorage, "CR", "ISO_IR 192", "Wiśniewska^Zofia",
       "RTG klatki piersiowej PA"},
  };
  const std::vector<fs::path> studies = subfolders(path("DICOM"));
  ASSERT_EQ(studies.size(), 3u);
  EXPECT_EQ(summary_.studies, 3);
  std::set<std::string> studyUids, sizes;
  int seriesWithoutDescription = 0;
  for (size_t s = 0; s < studies.size(); ++s) {
    EXPECT_EQ(studies[s].filename().string(), samplemedium::mediaName("ST", static_cast<int>(s) + 1));
    const std::vector<fs::path> series = subfolders(studies[s]);
    EXPECT_GE(series.size(), 2u);
    EXPECT_LE(series.size(), 4u);
    for (const fs::path &folder : series) {
      const std::vector<fs::path> images = files(folder);
      EXPECT_GE(images.size(), 8u);
      EXPECT_LE(images.size(), 40u);
      for (const fs::path &image : {images.front(), images.back()}) {
        EXPECT_EQ(image.filename().string().size(), 8u);
        DcmFileFormat file;
        ASSERT_TRUE(file.loadFile(image.c_str()).good()) << image;
        DcmDataset *data = file.getDataset();
        EXPECT_EQ(attribute(file.getMetaInfo(), DCM_MediaStorageSOPClassUID), expected[s].sopClass);
        EXPECT_EQ(attribute(file.getMetaInfo(), DCM_TransferSyntaxUID),
                  UID_LittleEndianExplicitTransferSyntax);
        EXPECT_EQ(attribute(data, DCM_SOPClassUID), expected[s].sopClass);
        EXPECT_EQ(attribute(data, DCM_Modality), expected[s].modality);
        EXPECT_EQ(attribute(data, DCM_SpecificCharacterSet), expected[s].characterSet);
        EXPECT_EQ(attribute(data, DCM_PatientName), expected[s].patientName);
        EXPECT_EQ(attribute(data, DCM_PatientID), "68031412340");
        EXPECT_EQ(
            attribute(data, DCM_StudyDescription),
            samplemedium::encodeForCharacterSet(expected[s].studyDescription, expected[s].characterSet));
        EXPECT_EQ(attribute(data, DCM_StudyDate).size(), 8u);
        for (const DcmTagKey &tag :
             {DCM_SOPInstanceUID, DCM_SeriesInstanceUID, DCM_StudyID, DCM_InstanceNumber})
          EXPECT_NE(attribute(data, tag), "<absent>");
        studyUids.insert(attribute(data, DCM_StudyInstanceUID));
        sizes.insert(attribute(data, DCM_Columns) + "x" + attribute(data, DCM_Rows));
        Uint16 rows = 0, columns = 0;
        const Uint16 *pixels = nullptr;
        ASSERT_TRUE(data->findAndGetUint16(DCM_Rows, rows).good());
        ASSERT_TRUE(data->findAndGetUint16(DCM_Columns, columns).good());
        unsigned long count = 0;
        ASSERT_TRUE(data->findAndGetUint16Array(DCM_PixelData, pixels, &count).good());
        EXPECT_EQ(count, static_cast<unsigned long>(rows) * columns);
      }
      DcmFileFormat first;
      ASSERT_TRUE(first.loadFile(images.front().c_str()).good());
      if (attribute(first.getDataset(), DCM_SeriesDescription) == "<absent>") ++seriesWithoutDescription;
    }
  }
  EXPECT_EQ(studyUids.size(), 3u);
  EXPECT_EQ(seriesWithoutDescription, 1);
  EXPECT_EQ(sizes, (std::set<std::string>{"512x512", "512x384"}));
}

TEST_F(SampleMedium, DicomDirListsEveryImageOnce) {
  std::set<std::string> onDisc;
  for (const fs::path &study : subfolders(path("DICOM")))
    for (const fs::path &series : subfolders(study))
      for (const fs::path &image : files(series))
        onDisc.insert("DICOM/" + study.filename().string() + "/" + series.filename().string() + "/" +
                      image.filename().string());

  DcmFileFormat dicomDir;
  ASSERT_TRUE(dicomDir.loadFile(path("DICOMDIR").c_str()).good());
  EXPECT_EQ(attribute(dicomDir.getMetaInfo(), DCM_MediaStorageSOPClassUID), UID_MediaStorageDirectoryStorage);
  DcmSequenceOfItems *records = nullptr;
  ASSERT_TRUE(dicomDir.getDataset()->findAndGetSequence(DCM_DirectoryRecordSequence, records).good());
  std::map<std::string, int> recordTypes;
  std::multiset<std::string> listed;
  for (unsigned long i = 0; i < records->card(); ++i) {
    DcmItem *record = records->getItem(i);
    const std::string type = attribute(record, DCM_DirectoryRecordType);
    ++recordTypes[type];
    if (type != "IMAGE") continue;
    std::string file = attribute(record, DCM_ReferencedFileID);
    for (char &c : file)
      if (c == '\\') c = '/';
    listed.insert(file);
  }
  EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), onDisc);
  EXPECT_EQ(listed.size(), onDisc.size());
  EXPECT_EQ(static_cast<int>(onDisc.size()), summary_.images);
  EXPECT_EQ(recordTypes["PATIENT"], 1);
  EXPECT_EQ(recordTypes["STUDY"], 3);
  EXPECT_EQ(recordTypes["SERIES"], summary_.series);

  // The command-line tools of DCMTK read it too.
  UniqueString dcmdump(g_find_program_in_path("dcmdump"));
  if (!dcmdump) GTEST_SKIP() << "dcmdump is not installed";
  const std::string dicomDirPath = path("DICOMDIR").string();
  gchar *argv[] = {dcmdump.get(), const_cast<gchar *>(dicomDirPath.c_str()), nullptr};
  gchar *out = nullptr;
  gint status = -1;
  ASSERT_TRUE(g_spawn_sync(nullptr, argv, nullptr, G_SPAWN_STDERR_TO_DEV_NULL, nullptr, nullptr, &out,
                           nullptr, &status, nullptr));
  UniqueString output(out);
  EXPECT_TRUE(g_spawn_check_exit_status(status, nullptr));
  EXPECT_NE(std::string(output.get()).find("DICOM\\ST000003\\SE000002\\IM000001"), std::string::npos);
}

TEST_F(SampleMedium, ReferencePicturesMirrorTheDicomTree) {
  const std::vector<fs::path> refStudies = subfolders(path("REFIMG")),
                              dicomStudies = subfolders(path("DICOM"));
  ASSERT_EQ(refStudies.size(), dicomStudies.size());
  std::map<std::string, int> sizes;
  int smallPictures = 0;
  for (size_t s = 0; s < refStudies.size(); ++s) {
    const std::vector<fs::path> refSeries = subfolders(refStudies[s]),
                                dicomSeries = subfolders(dicomStudies[s]);
    ASSERT_EQ(refSeries.size(), dicomSeries.size()) << refStudies[s];
    for (size_t j = 0; j < refSeries.size(); ++j) {
      int shown = 0;
      for (const fs::path &picture : files(refSeries[j])) {
        int width = 0, height = 0;
        ASSERT_NE(gdk_pixbuf_get_file_info(picture.c_str(), &width, &height), nullptr) << picture;
        if (picture.string().find("small") != std::string::npos) {
          ++smallPictures;
          continue;
        }
        ++shown;
        ++sizes[std::to_string(width) + "x" + std::to_string(height)];
      }
      EXPECT_EQ(static_cast<size_t>(shown), files(dicomSeries[j]).size()) << refSeries[j];
    }
  }
  EXPECT_EQ(smallPictures, 1);
  EXPECT_EQ(sizes.size(), 2u);
  EXPECT_GT(sizes["512x512"], 3 * sizes["512x384"]);
  EXPECT_GT(sizes["512x384"], 0);
}

TEST_F(SampleMedium, ReportsAreListedAndReadable) {
  const std::string list = testsupport::readFile(path("descrlist.js").string());
  std::vector<std::string> reports;
  gchar **pieces = g_strsplit(list.c_str(), "\"", -1);
  for (gchar **piece = pieces; *piece; ++piece)
    if (g_str_has_suffix(*piece, ".html") || g_str_has_suffix(*piece, ".pdf")) reports.push_back(*piece);
  g_strfreev(pieces);
  ASSERT_GE(reports.size(), 3u);
  int html = 0, inFolder = 0;
  for (const std::string &report : reports) {
    ASSERT_TRUE(fs::is_regular_file(path(report))) << report;
    if (report.find('/') != std::string::npos) ++inFolder;
    if (!g_str_has_suffix(report.c_str(), ".html")) continue;
    ++html;
    const std::string bytes = testsupport::readFile(path(report).string());
    EXPECT_FALSE(g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)) << report;
    const std::string text = fromWindows1250(bytes);
    for (const char *letters : {"ą", "ę", "ł", "ó", "ś", "ż", "Wiśniewska"})
      EXPECT_NE(text.find(letters), std::string::npos) << report << " lacks " << letters;
    const size_t source = text.find("<img src=\"");
    ASSERT_NE(source, std::string::npos) << report;
    const size_t from = source + 10, to = text.find('"', from);
    const fs::path picture = path(report).parent_path() / text.substr(from, to - from);
    EXPECT_TRUE(fs::is_regular_file(picture)) << picture;
    EXPECT_NE(picture.lexically_normal().string().find("/images/"), std::string::npos);
  }
  EXPECT_EQ(html, 2);
  EXPECT_EQ(inFolder, 1);
}

TEST_F(SampleMedium, PdfReportIsWellFormed) {
  const std::string pdf = testsupport::readFile(path("wynik.pdf").string());
  ASSERT_GT(pdf.size(), 1000u);
  EXPECT_EQ(pdf.compare(0, 5, "%PDF-"), 0);
  const size_t end = pdf.rfind("%%EOF");
  ASSERT_NE(end, std::string::npos);
  EXPECT_GE(end, pdf.size() - 7);
  EXPECT_NE(pdf.find("trailer"), std::string::npos);
  const size_t startxref = pdf.rfind("startxref");
  ASSERT_NE(startxref, std::string::npos);
  const size_t offset = std::stoul(pdf.substr(startxref + 10));
  EXPECT_EQ(pdf.compare(offset, 4, "xref"), 0);
  EXPECT_NE(pdf.find("/Type /Page"), std::string::npos);

  UniqueString pdfinfo(g_find_program_in_path("pdfinfo"));
  if (!pdfinfo) return;
  const std::string file = path("wynik.pdf").string();
  gchar *argv[] = {pdfinfo.get(), const_cast<gchar *>(file.c_str()), nullptr};
  gchar *out = nullptr;
  gint status = -1;
  ASSERT_TRUE(g_spawn_sync(nullptr, argv, nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, &out, nullptr, &status,
                           nullptr));
  UniqueString output(out);
  EXPECT_TRUE(g_spawn_check_exit_status(status, nullptr));
  EXPECT_NE(std::string(output.get()).find("Pages:"), std::string::npos);
}

TEST_F(SampleMedium, ProgramSideIsInPlaceAndEverythingIsReadOnly) {
  EXPECT_EQ(testsupport::readFile(path("gtk/bin/viewer.ini").string()),
            "[viewer]\nviewer=DICOMViewer.exe\nwindowClassName=DICOMViewerSplash\n");
  const std::string autorun = testsupport::readFile(path("autorun.sh").string());
  EXPECT_EQ(autorun.compare(0, 10, "#!/bin/sh\n"), 0);
  EXPECT_NE(autorun.find("exec \"./$program\" \"$here\""), std::string::npos);
  // The toolkit travels with the disc, the baseline does not.
  EXPECT_TRUE(fs::is_regular_file(path("gtk/lib/libgtk-x11-2.0.so.0")));
  EXPECT_FALSE(fs::exists(path("gtk/lib/libc.so.6")));
  EXPECT_FALSE(fs::exists(path("gtk/lib/libX11.so.6")));
  for (const char *program : {"autorun.sh", "gtk/bin/velmora-brelantor", "Program/DICOMViewer.exe",
                              "Program/FRAMEWORK/dotnetfx.exe"}) {
    struct stat status {};
    ASSERT_EQ(stat(path(program).c_str(), &status), 0) << program;
    EXPECT_EQ(status.st_mode & 0777, 0555u) << program;
  }
  bool artworkLeftOut = false;
  for (const std::string &warning : summary_.warnings)
    artworkLeftOut |= warning.find("artwork") != std::string::npos;
  if (!artworkLeftOut) {
    for (const char *picture : {"img/opis_n.jpg", "img/toggle_expand.png", "img/head_bg.jpg"})
      EXPECT_TRUE(fs::is_regular_file(path(picture))) << picture;
  }
  int regularFiles = 0;
  for (fs::recursive_directory_iterator it(root_), end; it != end; ++it) {
    if (!fs::is_regular_file(it->status())) continue;
    ++regularFiles;
    EXPECT_EQ(it->status().permissions() & (fs::owner_write | fs::group_write | fs::others_write), 0)
        << it->path();
  }
  EXPECT_GT(regularFiles, summary_.images * 2);
  // Nothing is left beside the medium from the folder it was made in.
  EXPECT_EQ(files(medium_->root()).size(), 0u);
  EXPECT_EQ(subfolders(medium_->root()).size(), 2u);
}

TEST(SampleMediumScale, CountsAndSizesFollowTheOptions) {
  testsupport::ScopedMedium medium;
  SampleMediumOptions options;
  options.studies = 4;
  options.seriesPerStudy = 5;
  options.imagesPerSeries = 2;
  options.pictureSize = 64;
  options.navigatorProgram.clear();
  options.toolDirectory = medium.path("no-tools");
  options.threads = 3;
  SampleMediumSummary summary;
  std::string error;
  ASSERT_TRUE(generateSampleMedium(medium.path("big/"), options, &summary, &error)) << error;
  EXPECT_EQ(summary.studies, 4);
  EXPECT_EQ(summary.series, 20);
  EXPECT_EQ(summary.images, 40);
  int missingStandIns = 0;
  for (const std::string &warning : summary.warnings)
    if (warning.find("-standin not found") != std::string::npos) ++missingStandIns;
  EXPECT_EQ(missingStandIns, 2);
  const std::vector<fs::path> studies = subfolders(medium.path("big/DICOM"));
  ASSERT_EQ(studies.size(), 4u);
  for (const fs::path &study : studies) {
    ASSERT_EQ(subfolders(study).size(), 5u);
    for (const fs::path &series : subfolders(study)) EXPECT_EQ(files(series).size(), 2u);
  }
  DcmFileFormat fourth;
  ASSERT_TRUE(fourth.loadFile((studies[3] / "SE000004/IM000002").c_str()).good());
  EXPECT_EQ(attribute(fourth.getDataset(), DCM_StudyDescription), "TK głowy bez kontrastu, kontrola 1");
  EXPECT_EQ(attribute(fourth.getDataset(), DCM_Columns), "64");
  EXPECT_EQ(attribute(fourth.getDataset(), DCM_SeriesDescription), "Głowa 5 mm, okno mózgowe, kontrola 1");
  EXPECT_FALSE(fs::exists(medium.path("big/gtk/bin/velmora-brelantor")));
  EXPECT_EQ(sortedDirectoryEntries(medium.root()).size(), 1u);
}

TEST(SampleMediumScale, RefusesBadTargetsAndOptionsLeavingNothingBehind) {
  testsupport::ScopedMedium medium;
  medium.writeFile("full/keep.txt", "mine");
  SampleMediumOptions options;
  options.imagesPerSeries = 1;
  options.pictureSize = 32;
  SampleMediumSummary summary;
  std::string error;
  EXPECT_FALSE(generateSampleMedium(medium.path("full"), options, &summary, &error));
  EXPECT_NE(error.find("not an empty folder"), std::string::npos) << error;
  EXPECT_EQ(testsupport::readFile(medium.path("full/keep.txt")), "mine");
  medium.writeFile("plain-file", "x");
  EXPECT_FALSE(generateSampleMedium(medium.path("plain-file"), options, &summary, &error));

  const std::pair<int SampleMediumOptions::*, int> badOptions[] = {
      {&SampleMediumOptions::studies, 0},     {&SampleMediumOptions::seriesPerStudy, -1},
      {&SampleMediumOptions::pictureSize, 8}, {&SampleMediumOptions::pictureSize, 9000},
      {&SampleMediumOptions::threads, -2},
  };
  for (const auto &[field, value] : badOptions) {
    SampleMediumOptions bad = options;
    bad.*field = value;
    error.clear();
    EXPECT_FALSE(generateSampleMedium(medium.path("new"), bad, &summary, &error)) << value;
    EXPECT_FALSE(error.empty());
  }
  // An empty folder is taken, and nothing but the two folders and the file is left.
  medium.makeDirectory("empty");
  options.navigatorProgram.clear();
  EXPECT_TRUE(generateSampleMedium(medium.path("empty"), options, &summary, &error)) << error;
  EXPECT_TRUE(fs::is_regular_file(medium.path("empty/DICOMDIR")));
  EXPECT_EQ(sortedDirectoryEntries(medium.root()).size(), 3u);
}

}  // namespace
