// Attribute records read from real DICOM files: encodings, values, character
// sets, and where reading stops.
#include "catalogue/study_metadata_reader.h"

#include "catalogue/directory_scan.h"
#include "catalogue/reference_catalogue.h"
#include "support/dicom_fixture.h"
#include "support/scoped_medium.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

using testsupport::DicomEncoding;
using testsupport::DicomValues;
using testsupport::encodeAs;
using testsupport::writeDicomFile;

const DicomValues fullValues = {
    {DCM_PatientName, "Kowalski^Jan"},
    {DCM_PatientID, "80010112345"},
    {DCM_Modality, "CT"},
    {DCM_StudyDate, "20240315"},
    {DCM_StudyDescription, "Głowa"},
    {DCM_SeriesDescription, "Osiowe 5mm"},
    {DCM_SpecificCharacterSet, "ISO_IR 192"},
};
const StudyMetadata fullRecord = {"Kowalski^Jan", "80010112345", "CT", "20240315", "Głowa", "Osiowe 5mm"};

// The six fields in one line, so that records compare and print as a whole.
std::string fields(const StudyMetadata &r) {
  return r.patientName + "|" + r.patientId + "|" + r.modality + "|" + r.studyDate + "|" + r.studyDescription +
         "|" + r.seriesDescription;
}

// One series per file of `paths`, all in study 0.
DicomFileMap oneStudyOf(const std::vector<std::string> &paths) {
  DicomFileMap index;
  for (size_t i = 0; i < paths.size(); ++i) index[0][static_cast<int>(i)] = {paths[i]};
  return index;
}

TEST(StudyMetadataReader, ReadsEveryEncodingWithOrWithoutMetaHeader) {
  testsupport::ScopedMedium medium;
  const DicomEncoding encodings[] = {
      {EXS_LittleEndianExplicit, true, 8},   {EXS_LittleEndianImplicit, true, 8},
      {EXS_BigEndianExplicit, true, 8},      {EXS_LittleEndianExplicit, false, 8},
      {EXS_LittleEndianImplicit, false, 8},  {EXS_BigEndianExplicit, false, 8},
      {EXS_LittleEndianExplicit, true, 512},  // pixel data beyond the read limit
      {EXS_LittleEndianImplicit, false, 0},
  };
  std::vector<std::string> paths;
  for (const DicomEncoding &encoding : encodings) {
    std::string path = "DICOM/ST1/SE" + std::to_string(paths.size()) + "/IM1";
    ASSERT_TRUE(writeDicomFile(path, fullValues, encoding)) << path;
    paths.push_back(path);
  }
  StudyMetadataMap result = readStudyMetadata(oneStudyOf(paths));
  ASSERT_EQ(result.size(), 1u);
  ASSERT_EQ(result[0].size(), paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    ASSERT_EQ(result[0][static_cast<int>(i)].size(), 1u);
    EXPECT_EQ(fields(result[0][static_cast<int>(i)][0]), fields(fullRecord)) << paths[i];
  }
}

TEST(StudyMetadataReader, KeepsValuesAsStoredWithoutTrailingPadding) {
  testsupport::ScopedMedium medium;
  const struct {
    DicomValues values;
    StudyMetadata expected;
  } cases[] = {
      {{}, {}},
      {{{DCM_Modality, "MR"}, {DCM_StudyDescription, "Kolano"}}, {"", "", "MR", "", "Kolano", ""}},
      {{{DCM_PatientName, "Nowak^Anna^Maria^^"},
        {DCM_PatientID, "ABC"},  // odd length: stored with one pad blank
        {DCM_StudyDescription, "Brzuch   "},
        {DCM_SeriesDescription, " z kontrastem "},
        {DCM_StudyDate, "20231201"}},
       {"Nowak^Anna^Maria^^", "ABC", "", "20231201", "Brzuch", " z kontrastem"}},
  };
  std::vector<std::string> paths;
  for (const auto &c : cases) {
    paths.push_back("DICOM/ST/SE" + std::to_string(paths.size()) + "/IM");
    ASSERT_TRUE(writeDicomFile(paths.back(), c.values));
  }
  StudyMetadataMap result = readStudyMetadata(oneStudyOf(paths));
  for (size_t i = 0; i < paths.size(); ++i)
    EXPECT_EQ(fields(result[0][static_cast<int>(i)].at(0)), fields(cases[i].expected));
}

TEST(StudyMetadataReader, ConvertsDeclaredCharacterSetsAndRepairsTheRest) {
  testsupport::ScopedMedium medium;
  const std::string latin2Name = encodeAs("Wąsowicz^Łucja", "ISO-8859-2");
  const struct {
    const char *characterSet;  // nullptr: none declared
    std::string name;
    std::string description;
    std::string expectedName;
    std::string expectedDescription;
  } cases[] = {
      {"ISO_IR 101", latin2Name, encodeAs("Tomografia głowy", "ISO-8859-2"), "Wąsowicz^Łucja",
       "Tomografia głowy"},
      {"ISO_IR 100", encodeAs("Müller^Jürgen", "ISO-8859-1"), "Knie", "Müller^Jürgen", "Knie"},
      {"ISO_IR 192", "Żółć^Gęś", "Płuca", "Żółć^Gęś", "Płuca"},
      {"ISO_IR 101", latin2Name, "ASCII only", "Wąsowicz^Łucja", "ASCII only"},  // the same set again
      {nullptr, latin2Name, "Łódź",
       "W\xEF\xBF\xBDsowicz^\xEF\xBF\xBD"
       "ucja",
       "Łódź"},
      {"ISO_IR 999", latin2Name, "x",
       "W\xEF\xBF\xBDsowicz^\xEF\xBF\xBD"
       "ucja",
       "x"},
      {"ISO_IR 192",
       "Zi\xEA"
       "ba^Ola",
       "ok",
       "Zi\xEF\xBF\xBD"
       "ba^Ola",
       "ok"},
      {"ISO_IR 6", "Smith^John", "Chest", "Smith^John", "Chest"},
      // The standard's own person names with code extensions (PS3.5 annexes H, I, K).
      {"\\ISO 2022 IR 87",
       "Yamada^Tarou=\x1B$B;3ED\x1B(B^\x1B$BB@O:\x1B(B=\x1B$B$d$^$@\x1B(B^\x1B$B$?$m$&\x1B(B", "x",
       "Yamada^Tarou=山田^太郎=やまだ^たろう", "x"},
      {"ISO 2022 IR 13\\ISO 2022 IR 87",
       "\xD4\xCF\xC0\xDE^\xC0\xDB\xB3=\x1B$B;3ED\x1B(J^\x1B$BB@O:\x1B(J=\x1B$B$d$^$@\x1B(J^\x1B$B$?$m$&\x1B("
       "J",
       "x", "ﾔﾏﾀﾞ^ﾀﾛｳ=山田^太郎=やまだ^たろう", "x"},
      {"\\ISO 2022 IR 149",
       "Hong^Gildong=\x1B$)C\xFB\xF3^\x1B$)C\xD1\xCE\xD4\xD7=\x1B$)C\xC8\xAB^\x1B$)C\xB1\xE6\xB5\xBF", "x",
       "Hong^Gildong=洪^吉洞=홍^길동", "x"},
      {"\\ISO 2022 IR 58", "Zhang^XiaoDong=\x1B$)A\xD5\xC5^\x1B$)A\xD0\xA1\xB6\xAB=", "x",
       "Zhang^XiaoDong=张^小东=", "x"},
      {"GB18030", "Wang^XiaoDong=\xCD\xF5^\xD0\xA1\xB6\xAB=", "x", "Wang^XiaoDong=王^小东=", "x"},
      {"ISO 2022 IR 100\\ISO 2022 IR 101", "M\xFCller^\x1B-B\xA3ucja", "x", "Müller^Łucja", "x"},
  };
  std::vector<std::string> paths;
  for (const auto &c : cases) {
    DicomValues values = {{DCM_PatientName, c.name}, {DCM_StudyDescription, c.description}};
    if (c.characterSet != nullptr) values.push_back({DCM_SpecificCharacterSet, c.characterSet});
    paths.push_back("DICOM/ST/SE" + std::to_string(paths.size()) + "/IM");
    ASSERT_TRUE(writeDicomFile(paths.back(), values));
  }
  StudyMetadataMap result = readStudyMetadata(oneStudyOf(paths));
  ASSERT_EQ(result[0].size(), paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    const StudyMetadata &record = result[0][static_cast<int>(i)].at(0);
    EXPECT_EQ(record.patientName, cases[i].expectedName) << i;
    EXPECT_EQ(record.studyDescription, cases[i].expectedDescription) << i;
    EXPECT_TRUE(g_utf8_validate(record.patientName.c_str(), -1, nullptr)) << i;
  }
}

TEST(StudyMetadataReader, FollowsTheScannedPositionsAndTakesTheNextReadableFileOfASeries) {
  testsupport::ScopedMedium medium;
  for (int study = 1; study <= 4; ++study)
    for (int series = 1; series <= 2; ++series) {
      std::string name = "S" + std::to_string(study) + "." + std::to_string(series);
      std::string path = "DICOM/ST" + std::to_string(study) + "/SE" + std::to_string(series) + "/IM1";
      ASSERT_TRUE(writeDicomFile(path, {{DCM_SeriesDescription, name}}));
    }
  medium.makeDirectory("DICOM/ST1/SE0");  // no file: an empty record, reading goes on
  medium.writeFile("DICOM/ST3/SE2/IM0", "not a DICOM file");
  DicomFileMap files = scanDicomTree(medium.path("DICOM"));
  ASSERT_EQ(files.size(), 4u);

  testing::internal::CaptureStderr();
  StudyMetadataMap result = readStudyMetadata(files);
  std::string traced = testing::internal::GetCapturedStderr();
  std::replace(traced.begin(), traced.end(), '\\', '/');  // Windows traces its own separator
  EXPECT_EQ(traced, "pominięty \"DICOM/ST3/SE2/IM0\": nie można odczytać pliku DICOM\n");
  ASSERT_EQ(result.size(), 4u);
  ASSERT_EQ(result[0].size(), 3u);
  EXPECT_EQ(fields(result[0][0].at(0)), fields(StudyMetadata()));
  EXPECT_EQ(result[0][1].at(0).seriesDescription, "S1.1");
  EXPECT_EQ(result[0][2].at(0).seriesDescription, "S1.2");
  ASSERT_EQ(result[1].size(), 2u);
  EXPECT_EQ(result[1][1].at(0).seriesDescription, "S2.2");
  EXPECT_EQ(result[2][1].at(0).seriesDescription, "S3.2") << "the file after the unreadable one";

  // A file missing altogether: the next readable one after it in name order.
  files[2][1] = {"DICOM/ST3/SE2/GONE"};
  // No readable file after it: empty fields, and the reading goes on.
  files[0][1] = {"DICOM/ST1/SE1/IM9"};
  result = readStudyMetadata(files);
  EXPECT_EQ(fields(result[0][1].at(0)), fields(StudyMetadata()));
  EXPECT_EQ(result[2][1].at(0).seriesDescription, "S3.2");
  EXPECT_EQ(result[3][1].at(0).seriesDescription, "S4.2");
  EXPECT_TRUE(readStudyMetadata({}).empty());
}

}  // namespace
