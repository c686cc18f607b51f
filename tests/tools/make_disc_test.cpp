// make-disc on exports written here with DCMTK in every encoding a clinic's
// archive produces: the layout and pairing, the pictures' windowing and
// colour, the reports, the DICOMDIR, refusals, and the navigator reading it.
#include "make_disc.h"
#include "browser/tree_building.h"
#include "catalogue/directory_scan.h"
#include "catalogue/reference_catalogue.h"
#include "catalogue/study_metadata_reader.h"
#include "dicom_directory.h"
#include "disc_image.h"
#include "disc_plan.h"
#include "disc_readme.h"
#include "disc_span.h"
#include "export_reading.h"
#include "imaging/dicom_decoders.h"
#include "reference_pictures.h"
#include "support/scoped_medium.h"
#include "support/standin_programs.h"
#include "support/viewer_images.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcddirif.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcdicdir.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>
#include <dcmtk/dcmdata/dcrleerg.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmjpeg/djencode.h>
#include <dcmtk/dcmjpls/djencode.h>
#include <dcmtk/dcmsr/dsrdoc.h>
#include <dcmtk/oflog/oflog.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <unistd.h>
#include <algorithm>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <vector>

namespace {

using namespace testsupport;
namespace fs = boost::filesystem;

// One object of an export: a 32 x 32 image whose left half holds `left` and
// right half `right` (per frame: + 100 * frame), or RGB / palette colour.
struct Spec {
  std::string patient = "80010112345", study = "1.2.826.0.1.1", date = "20240102", series = "1.2.826.0.1.1.1";
  int seriesNumber = 1, instance = 1, frames = 1;
  std::string photometric = "MONOCHROME2";
  Uint16 left = 100, right = 300;
  E_TransferSyntax xfer = EXS_LittleEndianExplicit;
  std::vector<std::pair<DcmTagKey, std::string>> extra;
  bool meta = true;
};

void writeImage(const std::string &path, const Spec &spec) {
  DcmFileFormat file;
  DcmDataset *d = file.getDataset();
  const bool colour = spec.photometric == "RGB", palette = spec.photometric == "PALETTE COLOR";
  char uid[100];
  for (auto &value : std::vector<std::pair<DcmTagKey, std::string>>{
           {DCM_SOPClassUID, colour ? UID_SecondaryCaptureImageStorage : UID_CTImageStorage},
           {DCM_SOPInstanceUID, dcmGenerateUniqueIdentifier(uid)},
           {DCM_PatientID, spec.patient},
           {DCM_PatientName, "Kowalski^Jan"},
           {DCM_StudyInstanceUID, spec.study},
           {DCM_StudyDate, spec.date},
           {DCM_SeriesInstanceUID, spec.series},
           {DCM_Modality, "CT"},
           {DCM_SeriesNumber, std::to_string(spec.seriesNumber)},
           {DCM_InstanceNumber, std::to_string(spec.instance)},
           {DCM_PhotometricInterpretation, spec.photometric},
           {DCM_NumberOfFrames, std::to_string(spec.frames)}})
    d->putAndInsertString(value.first, value.second.c_str());
  for (auto &value : spec.extra) d->putAndInsertString(value.first, value.second.c_str());
  const Uint16 bits = colour || palette ? 8 : 16;
  for (auto tag : {DCM_Rows, DCM_Columns}) d->putAndInsertUint16(tag, 32);
  d->putAndInsertUint16(DCM_SamplesPerPixel, colour ? 3 : 1);
  d->putAndInsertUint16(DCM_BitsAllocated, bits);
  d->putAndInsertUint16(DCM_BitsStored, bits);
  d->putAndInsertUint16(DCM_HighBit, bits - 1);
  d->putAndInsertUint16(DCM_PixelRepresentation, 0);
  std::vector<Uint16> grey;
  std::vector<Uint8> bytes;
  for (int f = 0; f < spec.frames; ++f)
    for (int p = 0; p < 32 * 32; ++p) {
      const Uint16 value = static_cast<Uint16>((p % 32 < 16 ? spec.left : spec.right) + 100 * f);
      grey.push_back(value);
      if (colour) bytes.insert(bytes.end(), {Uint8(value > 200 ? 255 : 0), 0, Uint8(value > 200 ? 0 : 255)});
      if (palette) bytes.push_back(value > 200 ? 1 : 0);
    }
  if (colour) d->putAndInsertUint16(DCM_PlanarConfiguration, 0);
  if (palette) {  // 0: blue, 1: red
    const std::vector<std::pair<DcmTagKey, DcmTagKey>> luts = {
        {DCM_RedPaletteColorLookupTableDescriptor, DCM_RedPaletteColorLookupTableData},
        {DCM_GreenPaletteColorLookupTableDescriptor, DCM_GreenPaletteColorLookupTableData},
        {DCM_BluePaletteColorLookupTableDescriptor, DCM_BluePaletteColorLookupTableData}};
    const Uint16 descriptor[3] = {2, 0, 16}, data[3][2] = {{0, 65535}, {0, 0}, {65535, 0}};
    for (int c = 0; c < 3; ++c) {
      d->putAndInsertUint16Array(luts[c].first, descriptor, 3);
      d->putAndInsertUint16Array(luts[c].second, data[c], 2);
    }
  }
  if (colour || palette)
    d->putAndInsertUint8Array(DCM_PixelData, bytes.data(), bytes.size());
  else
    d->putAndInsertUint16Array(DCM_PixelData, grey.data(), grey.size());
  ASSERT_TRUE(d->chooseRepresentation(spec.xfer, nullptr).good() && d->canWriteXfer(spec.xfer)) << path;
  fs::create_directories(fs::path(path).parent_path());
  const OFCondition saved =
      spec.meta ? file.saveFile(path.c_str(), spec.xfer) : d->saveFile(path.c_str(), spec.xfer);
  ASSERT_TRUE(saved.good()) << path << saved.text();
}

// A JPEG 2000 file of the code stream `stream` (by default one that ends
// after its first marker).
void writeJpeg2000(const std::string &path, Spec spec, std::vector<Uint8> stream = {0xFF, 0x4F, 0xFF, 0x51}) {
  writeImage(path, spec);
  DcmFileFormat file;
  ASSERT_TRUE(file.loadFile(path.c_str()).good());
  auto *sequence = new DcmPixelSequence(DCM_PixelSequenceTag);
  sequence->insert(new DcmPixelItem(DCM_PixelItemTag));
  auto *fragment = new DcmPixelItem(DCM_PixelItemTag);
  if (stream.size() % 2 == 1) stream.push_back(0);
  fragment->putUint8Array(stream.data(), static_cast<unsigned long>(stream.size()));
  sequence->insert(fragment);
  auto *pixels = new DcmPixelData(DCM_PixelData);
  pixels->putOriginalRepresentation(EXS_JPEG2000LosslessOnly, nullptr, sequence);
  file.getDataset()->insert(pixels, true);
  ASSERT_TRUE(file.saveFile(path.c_str(), EXS_JPEG2000LosslessOnly).good());
}

void writeTextReport(const std::string &path, const Spec &spec) {
  DSRDocument sr(DSRTypes::DT_BasicTextSR);
  sr.setSpecificCharacterSetType(DSRTypes::CS_UTF8);
  sr.setPatientID(spec.patient.c_str());
  sr.createNewSeriesInStudy(spec.study.c_str());
  sr.setStudyDate(spec.date.c_str());
  sr.setSeriesNumber("0");
  sr.getTree().addContentItem(DSRTypes::RT_isRoot, DSRTypes::VT_Container);
  sr.getTree().getCurrentContentItem().setConceptName(
      DSRCodedEntryValue("11528-7", "LN", "Radiology Report"));
  sr.getTree().addContentItem(DSRTypes::RT_contains, DSRTypes::VT_Text, DSRTypes::AM_belowCurrent);
  sr.getTree().getCurrentContentItem().setConceptName(DSRCodedEntryValue("121071", "DCM", "Finding"));
  sr.getTree().getCurrentContentItem().setStringValue("Zmiany zwyrodnieniowe łąkotki");
  DcmFileFormat file;
  ASSERT_TRUE(sr.write(*file.getDataset()).good());
  ASSERT_TRUE(file.saveFile(path.c_str(), EXS_LittleEndianExplicit).good());
}

void writePdfObject(const std::string &path, const Spec &spec, const std::string &pdf) {
  DcmFileFormat file;
  DcmDataset *d = file.getDataset();
  char uid[100];
  for (auto &value : std::vector<std::pair<DcmTagKey, std::string>>{
           {DCM_SOPClassUID, UID_EncapsulatedPDFStorage},
           {DCM_SOPInstanceUID, dcmGenerateUniqueIdentifier(uid)},
           {DCM_PatientID, spec.patient},
           {DCM_PatientName, "Kowalski^Jan"},
           {DCM_StudyInstanceUID, spec.study},
           {DCM_StudyDate, spec.date},
           {DCM_SeriesInstanceUID, spec.series},
           {DCM_SeriesNumber, "9"},
           {DCM_InstanceNumber, "1"},
           {DCM_Modality, "DOC"},
           {DCM_MIMETypeOfEncapsulatedDocument, "application/pdf"}})
    d->putAndInsertString(value.first, value.second.c_str());
  d->putAndInsertUint8Array(DCM_EncapsulatedDocument, reinterpret_cast<const Uint8 *>(pdf.data()),
                            pdf.size());
  ASSERT_TRUE(file.saveFile(path.c_str(), EXS_LittleEndianExplicit).good());
}

// The grey level (or red, green, blue) at a point of a disc picture.
std::vector<int> pixelAt(const std::string &path, int x, int y) {
  std::unique_ptr<GdkPixbuf, decltype(&g_object_unref)> picture(
      gdk_pixbuf_new_from_file(path.c_str(), nullptr), g_object_unref);
  if (!picture) return {};
  const guchar *p =
      gdk_pixbuf_get_pixels(picture.get()) + y * gdk_pixbuf_get_rowstride(picture.get()) + x * 3;
  return {p[0], p[1], p[2]};
}

class MakeDiscTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    DJEncoderRegistration::registerCodecs();
    DJLSEncoderRegistration::registerCodecs();
    DcmRLEEncoderRegistration::registerCodecs();
  }
  static void TearDownTestSuite() {
    DJEncoderRegistration::cleanup();
    DJLSEncoderRegistration::cleanup();
    DcmRLEEncoderRegistration::cleanup();
  }
  makedisc::MakeDiscOptions options(const std::vector<std::string> &sources) {
    makedisc::MakeDiscOptions made;
    for (const std::string &source : sources) made.sources.push_back(medium_.path(source));
    made.out = medium_.path("disc");
    made.navigatorProgram = "";
    made.artwork = false;
    return made;
  }
  std::string disc(const std::string &relative) { return medium_.path("disc/" + relative); }
  ScopedMedium medium_;
};

Spec inSeries(const std::string &study, const std::string &series, int number) {
  Spec spec;
  spec.study = study, spec.date = "20240101", spec.series = series, spec.seriesNumber = number;
  return spec;
}

// Study B is older, so it comes first; A holds the report objects.
void writeExport(const ScopedMedium &medium) {
  const std::string b = "1.2.826.0.1.2";
  Spec rgb = inSeries(b, b + ".1", 1);
  rgb.photometric = "RGB", rgb.xfer = EXS_JPEGProcess1;
  writeImage(medium.path("export/b/rgb.dcm"), rgb);
  Spec palette = rgb;
  palette.instance = 2, palette.photometric = "PALETTE COLOR", palette.xfer = EXS_RLELossless;
  writeImage(medium.path("export/b/palette"), palette);
  Spec j2k = rgb;
  j2k.instance = 3, j2k.photometric = "MONOCHROME2", j2k.xfer = EXS_LittleEndianExplicit;
  writeJpeg2000(medium.path("export/b/j2k.dcm"), j2k);
  Spec frames = inSeries(b, b + ".2", 2);
  frames.frames = 3, frames.left = frames.right = 100, frames.xfer = EXS_RLELossless;
  frames.extra = {{DCM_WindowCenter, "200"}, {DCM_WindowWidth, "200"}};
  writeImage(medium.path("export/b/cine.dcm"), frames);
  Spec lossless = inSeries(b, b + ".3", 3);
  lossless.xfer = EXS_JPEGProcess14SV1,
  // Every value the DICOMDIR would invent is in this file alone.
      lossless.extra = {
          {DCM_WindowCenter, "300"}, {DCM_WindowWidth, "200"}, {DCM_StudyTime, "101500"}, {DCM_StudyID, "7"}};
  writeImage(medium.path("export/b/s3/1"), lossless);
  Spec jpegLs = lossless;
  jpegLs.instance = 2, jpegLs.xfer = EXS_JPEGLSLossless, jpegLs.extra.clear();
  writeImage(medium.path("export/b/s3/2"), jpegLs);
  Spec voiLut = jpegLs;
  voiLut.instance = 3, voiLut.xfer = EXS_LittleEndianExplicit;
  writeImage(medium.path("export/b/s3/3"), voiLut);
  {  // a VOI LUT that maps 100 to 200 and 300 to 50
    DcmFileFormat file;
    ASSERT_TRUE(file.loadFile(medium.path("export/b/s3/3").c_str()).good());
    DcmItem *item = nullptr;
    file.getDataset()->findOrCreateSequenceItem(DCM_VOILUTSequence, item, 0);
    const Uint16 descriptor[3] = {201, 100, 8};
    std::vector<Uint16> lut(201, 200);
    lut.back() = 50;
    item->putAndInsertUint16Array(DCM_LUTDescriptor, descriptor, 3);
    item->putAndInsertUint16Array(DCM_LUTData, lut.data(), 201);
    ASSERT_TRUE(file.saveFile(medium.path("export/b/s3/3").c_str(), EXS_LittleEndianExplicit).good());
  }
  Spec a;
  a.seriesNumber = 5;
  const std::pair<E_TransferSyntax, const char *> encodings[] = {
      {EXS_LittleEndianImplicit, "MONOCHROME1"},
      {EXS_LittleEndianExplicit, "MONOCHROME2"},
      {EXS_BigEndianExplicit, "MONOCHROME2"},
      {EXS_DeflatedLittleEndianExplicit, "MONOCHROME2"},
      {EXS_LittleEndianImplicit, "MONOCHROME2"}};
  for (int i = 0; i < 5; ++i) {
    Spec one = a;
    one.instance = i + 1, one.xfer = encodings[i].first, one.photometric = encodings[i].second;
    if (i == 1) one.extra = {{DCM_WindowCenter, "300"}, {DCM_WindowWidth, "200"}};
    one.meta = i != 4;  // a bare dataset, as old archives write
    writeImage(medium.path("export/a/IM" + std::to_string(5 - i)), one);
  }
  Spec report = a;
  report.series = a.series + ".0";
  writeTextReport(medium.path("export/a/sr.dcm"), report);
  report.series = a.series + ".9";
  writePdfObject(medium.path("export/a/pdf.dcm"), report, "%PDF-1.4\n%%EOF\n");
  // A DICOMDIR naming two files, one of which is gone.
  Spec listed = a;
  listed.series = a.series + ".6", listed.seriesNumber = 6;
  writeImage(medium.path("export/withdir/IMG1"), listed);
  writeImage(medium.path("export/withdir/IMG2"), listed);
  DicomDirInterface dicomDir;
  dicomDir.enableInventMode();
  ASSERT_TRUE(dicomDir
                  .createNewDicomDir(DicomDirInterface::AP_GeneralPurpose,
                                     medium.path("export/withdir/DICOMDIR").c_str())
                  .good());
  for (const char *file : {"IMG1", "IMG2"})
    ASSERT_TRUE(dicomDir.addDicomFile(file, medium.path("export/withdir").c_str()).good());
  ASSERT_TRUE(dicomDir.writeDicomDir().good());
  fs::remove(medium.path("export/withdir/IMG2"));
  medium.writeFile("export/notes.txt", "Badanie z dnia 2 stycznia\n");
  const char random[] = "\x08\x00\x05\x00 random bytes here";
  medium.writeFile("export/b/random.bin", std::string(random, sizeof random - 1));
}

TEST_F(MakeDiscTest, ExportBecomesAPairedWindowedDiscTheNavigatorReads) {
  writeExport(medium_);
  makedisc::MakeDiscOptions made = options({"export"});
  medium_.writeFile("opis kliniki.HTML",
                    "<html><head><meta charset=\"utf-8\"></head><body>Opis: żółć</body></html>");
  made.reports = {medium_.path("opis kliniki.HTML")};
  made.threads = 2;
  makedisc::MakeDiscSummary summary;
  std::string error;
  ASSERT_TRUE(makedisc::makeDisc(made, &summary, &error)) << error;
  const std::string text = makedisc::summaryText(summary);
  EXPECT_EQ(summary.patients, 1);
  EXPECT_EQ(summary.studies, 2);
  EXPECT_EQ(summary.series, 5) << text;
  EXPECT_EQ(summary.images, 13) << text;
  EXPECT_EQ(summary.pictures, 14) << text;
  EXPECT_EQ(summary.others, 2) << text;
  EXPECT_EQ(summary.reports, 3) << text;
  EXPECT_EQ(summary.notDicom, 2) << text;
  EXPECT_EQ(summary.profile, "STD-GEN-CD (transfer syntax check relaxed)");
  ASSERT_EQ(summary.skipped.size(), 2u) << text;
  EXPECT_NE(summary.skipped[0].find("IMG2: named by the DICOMDIR but missing"), std::string::npos) << text;
  EXPECT_NE(summary.skipped[1].find("REFIMG/ST000001/SE000001: no pictures of 1 file ("), std::string::npos);
  EXPECT_NE(summary.skipped[1].find("j2k.dcm), a placeholder saying why in their place; JPEG 2000 (Lossless "
                                    "only): Invalid DICOM image (uszkodzony nagłówek JPEG 2000)"),
            std::string::npos)
      << text;

  // Pictures per REFIMG series, which pair with the DICOM series by position;
  // objects without pixels sit in DICOM series after them.
  EXPECT_EQ(summary.placeholders, 1) << text;
  const std::vector<std::pair<std::string, int>> series = {{"ST000001/SE000001", 3},
                                                           {"ST000001/SE000002", 3},
                                                           {"ST000001/SE000003", 3},
                                                           {"ST000002/SE000001", 5},
                                                           {"ST000002/SE000002", 1}};
  for (const auto &one : series) {
    int pictures = 0;
    for (fs::directory_iterator it(disc("REFIMG/" + one.first)), end; it != end; ++it) ++pictures;
    EXPECT_EQ(pictures, one.second) << one.first;
    EXPECT_TRUE(fs::exists(disc("DICOM/" + one.first + "/IM000001")));
  }
  EXPECT_FALSE(fs::exists(disc("REFIMG/ST000002/SE000003")));
  EXPECT_EQ(readFile(disc("DICOM/ST000002/SE000001/IM000002")), readFile(medium_.path("export/a/IM4")));
  // A dataset without file meta information gets it on the disc; its values stay.
  DcmFileFormat bare, partTen;
  ASSERT_TRUE(bare.loadFile(medium_.path("export/a/IM1").c_str()).good());
  ASSERT_TRUE(partTen
                  .loadFile(disc("DICOM/ST000002/SE000001/IM000005").c_str(), EXS_Unknown, EGL_noChange,
                            DCM_MaxReadLength, ERM_fileOnly)
                  .good());
  OFString bareUid, partTenUid;
  bare.getDataset()->findAndGetOFString(DCM_SOPInstanceUID, bareUid);
  partTen.getDataset()->findAndGetOFString(DCM_SOPInstanceUID, partTenUid);
  EXPECT_EQ(partTenUid, bareUid);
  EXPECT_FALSE(bareUid.empty());
  EXPECT_EQ(partTen.getDataset()->getOriginalXfer(), EXS_LittleEndianImplicit);
  EXPECT_TRUE(fs::exists(disc("DICOM/ST000002/SE000004/IM000001")));

  // Windowing: (left, right) grey levels of each picture.
  const std::vector<std::tuple<std::string, int, int>> greys = {
      {"ST000001/SE000002/IM000001", 0, 0},     {"ST000001/SE000002/IM000002", 128, 128},
      {"ST000001/SE000002/IM000003", 255, 255}, {"ST000001/SE000003/IM000001", 0, 128},
      {"ST000001/SE000003/IM000002", 0, 255},   {"ST000001/SE000003/IM000003", 200, 50},
      {"ST000002/SE000001/IM000001", 255, 0},   {"ST000002/SE000001/IM000002", 0, 128},
      {"ST000002/SE000001/IM000003", 0, 255},   {"ST000002/SE000001/IM000004", 0, 255},
      {"ST000002/SE000001/IM000005", 0, 255}};
  for (const auto &grey : greys) {
    const std::string picture = disc("REFIMG/" + std::get<0>(grey) + ".jpg");
    EXPECT_NEAR(pixelAt(picture, 6, 16).at(0), std::get<1>(grey), 8) << std::get<0>(grey);
    EXPECT_NEAR(pixelAt(picture, 26, 16).at(0), std::get<2>(grey), 8) << std::get<0>(grey);
  }
  for (const char *colour : {"ST000001/SE000001/IM000001.jpg", "ST000001/SE000001/IM000002.jpg"}) {
    EXPECT_GT(pixelAt(disc(std::string("REFIMG/") + colour), 26, 16).at(0), 200) << colour;
    EXPECT_GT(pixelAt(disc(std::string("REFIMG/") + colour), 6, 16).at(2), 200) << colour;
  }

  {  // A long loop rendered a part at a time gives the same pictures.
    DicomImageDecoders decoders;
    makedisc::PictureSettings oneAtATime;
    oneAtATime.framesAtOnce = 1;
    std::string failure;
    fs::create_directories(medium_.path("parts"));
    EXPECT_EQ(makedisc::renderReferencePictures(medium_.path("export/b/cine.dcm"), 3, medium_.path("parts"),
                                                1, oneAtATime, &failure),
              3)
        << failure;
    for (int f = 0; f < 3; ++f)
      EXPECT_NEAR(pixelAt(medium_.path("parts/IM00000" + std::to_string(f + 1) + ".jpg"), 6, 16).at(0),
                  f * 127.5, 8);
  }

  // Reports: the clinic's first, then the structured report and the PDF.
  EXPECT_EQ(
      readFile(disc("descrlist.js")),
      "var descriptions = [\"opis kliniki.html\", \"opis_20240102.html\", \"dokument_20240102.pdf\"];\n");
  EXPECT_EQ(readFile(disc("opis kliniki.html")), "Opis: \xBF\xF3\xB3\xE6");
  EXPECT_NE(readFile(disc("opis_20240102.html")).find("Zmiany zwyrodnieniowe \xB3\xB9kotki"),
            std::string::npos);
  EXPECT_EQ(readFile(disc("dokument_20240102.pdf")), "%PDF-1.4\n%%EOF\n");

  // README.TXT: what the disc holds, in ASCII, without the patient's data.
  const std::string readme = readFile(disc("README.TXT"));
  EXPECT_NE(readme.find("Na tej plycie: 2 badania (CT), 5 serii, 13 obrazow, 3 opisy.\r\n"),
            std::string::npos)
      << readme;
  EXPECT_NE(readme.find("On this disc: 2 studies (CT), 5 series, 13 images, 3 reports.\r\n"),
            std::string::npos);
  EXPECT_TRUE(std::all_of(readme.begin(), readme.end(),
                          [](char c) { return c == '\r' || c == '\n' || (c >= 32 && c < 127); }));
  for (const char *personal : {"Kowalski", "80010112345", "20240102"})
    EXPECT_EQ(readme.find(personal), std::string::npos) << personal;

  // The web pages open from the disc: every link and picture is there, no script.
  for (const std::string page : {"INDEX.HTM", "IHE_PDI/INDEX.HTM", "IHE_PDI/OPIS0002.HTM"}) {
    const std::string html = readFile(disc(page));
    EXPECT_EQ(html.find("<script"), std::string::npos) << page;
    int links = 0;
    const std::regex link("(href|src)=\"([^\"]+)\"");
    for (std::sregex_iterator it(html.begin(), html.end(), link), end; it != end; ++it, ++links) {
      std::unique_ptr<char, decltype(&g_free)> target(g_uri_unescape_string((*it)[2].str().c_str(), nullptr),
                                                      g_free);
      EXPECT_TRUE(fs::exists(fs::path(disc(page)).parent_path() / target.get()))
          << page << ": " << target.get();
    }
    EXPECT_GT(links, 0) << page;
  }
  const std::string studies = readFile(disc("IHE_PDI/INDEX.HTM"));
  for (const char *shown :
       {"Pacjent: Kowalski Jan", "Badanie 1: 2024-01-01, CT", "Serie: 3, obrazy: 7", "opis kliniki.html",
        "href=\"../dokument_20240102.pdf\"", "ST000002/SE000002/IM000001.jpg"})
    EXPECT_NE(studies.find(shown), std::string::npos) << shown << "\n" << studies;
  EXPECT_NE(readFile(disc("IHE_PDI/OPIS0002.HTM")).find("Zmiany zwyrodnieniowe \xB3\xB9kotki"),
            std::string::npos);
  // DICOM's own checkers find no error in the DICOMDIR.
  // What a checker run in the disc's folder writes to its error output.
  auto complaintsOf = [&](std::vector<const char *> command) {
    command.push_back(nullptr);
    gchar *said = nullptr;
    EXPECT_TRUE(g_spawn_sync(disc("").c_str(), const_cast<gchar **>(command.data()), nullptr,
                             GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL), nullptr, nullptr,
                             nullptr, &said, nullptr, nullptr));
    const std::string text = said ? said : "";
    g_free(said);
    return text;
  };
  const std::string verdict = complaintsOf({"dciodvfy", "DICOMDIR"});
  EXPECT_EQ(verdict.find("Error"), std::string::npos) << verdict;
  EXPECT_NE(verdict.find("Warning"), std::string::npos) << verdict;
  // dcmmkdir's update checks each file against its record; it replaces the
  // file it checks, so it checks a copy. Its errors do not change its status.
  fs::copy_file(disc("DICOMDIR"), disc("CHECKDIR"));
  const std::string updated = complaintsOf({"dcmmkdir", "-nb", "--update", "--discard", "--invent",
                                            "--no-xfer-check", "+D", "CHECKDIR", "+r", "DICOM"});
  EXPECT_EQ(updated.find("E: "), std::string::npos) << updated;
  EXPECT_EQ(updated.find("cannot be added"), std::string::npos) << updated;
  fs::remove(disc("CHECKDIR"));

  // The DICOMDIR names every copied file, with the numbers it invents where
  // the files have none, and the navigator pairs the trees.
  DcmDicomDir directory(disc("DICOMDIR").c_str());
  int referenced = 0;
  DcmDirectoryRecord &root = directory.getRootRecord();
  for (DcmDirectoryRecord *p = root.nextSub(nullptr); p; p = root.nextSub(p))
    for (DcmDirectoryRecord *st = p->nextSub(nullptr); st; st = p->nextSub(st)) {
      EXPECT_TRUE(st->tagExistsWithValue(DCM_StudyID));
      for (DcmDirectoryRecord *se = st->nextSub(nullptr); se; se = st->nextSub(se)) {
        EXPECT_TRUE(se->tagExistsWithValue(DCM_SeriesNumber));
        for (DcmDirectoryRecord *im = se->nextSub(nullptr); im; im = se->nextSub(im))
          referenced += im->tagExistsWithValue(DCM_InstanceNumber) ? 1 : 0;
      }
    }
  EXPECT_EQ(referenced, 15);
  ASSERT_EQ(::chdir(disc("").c_str()), 0);
  DicomFileIndex = scanDicomTree(fs::absolute("DICOM"));
  StudyMetadataIndex = readStudyMetadata(DicomFileIndex);
  BranchTree tree;
  createTreeRoot(tree);
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_container_add(GTK_CONTAINER(window), treeOuterEventBox(tree));
  testing::internal::CaptureStdout();
  const ThumbnailMap thumbnails = buildStudyBranches(tree, fs::absolute("REFIMG"));
  testing::internal::GetCapturedStdout();
  gtk_widget_destroy(window);
  EXPECT_EQ(StudyMetadataIndex.at(1).at(0).at(0).studyDate, "20240102");
  EXPECT_EQ(StudyMetadataIndex.at(1).at(3).at(0).modality, "DOC");
  for (size_t i = 0; i < series.size(); ++i)
    EXPECT_EQ(thumbnails.at(i < 3 ? 0 : 1).at(i < 3 ? i : i - 3).size(), size_t(series[i].second));
  DicomFileIndex.clear();
  StudyMetadataIndex.clear();
  loadedImageCount = totalImageCount = 0;
}

TEST_F(MakeDiscTest, JpegTwoThousandIsPicturedAndAFrameThatCannotBeStandsAsAPlaceholderSayingWhy) {
  Spec plain;
  writeImage(medium_.path("plain/IM1"), plain);
  fs::create_directories(medium_.path("export"));
  ASSERT_TRUE(writeJpeg2000Copy(medium_.path("plain/IM1"), medium_.path("export/coded"), medium_.root()));
  // A code stream declaring a 60000 x 60000 image in one tile; the file says 32 x 32.
  std::vector<Uint8> bomb = {0xFF, 0x4F, 0xFF, 0x51, 0, 41, 0, 0};
  for (Uint32 value : {60000u, 60000u, 0u, 0u, 60000u, 60000u, 0u, 0u})
    bomb.insert(bomb.end(), {Uint8(value >> 24), Uint8(value >> 16), Uint8(value >> 8), Uint8(value)});
  bomb.insert(bomb.end(),
              {0, 1, 15, 1, 1, 0xFF, 0x52, 0, 12, 0, 0, 0, 1, 0, 5, 4, 4, 0, 1, 0xFF, 0x5C, 0, 19, 0x40});
  bomb.insert(bomb.end(), 16, 0x40);
  bomb.insert(bomb.end(), {0xFF, 0x90, 0, 10, 0, 0, 0, 0, 0, 0, 0, 1, 0xFF, 0x93, 0xFF, 0xD9});
  Spec alone = plain;
  alone.series += ".2", alone.seriesNumber = 2;
  writeJpeg2000(medium_.path("export/bomb"), alone, bomb);
  alone.series += "3", alone.seriesNumber = 3;
  writeImage(medium_.path("export/short"), alone);
  DcmFileFormat cut;
  ASSERT_TRUE(cut.loadFile(medium_.path("export/short").c_str()).good());
  cut.getDataset()->putAndInsertUint16(DCM_Rows, 4000);
  ASSERT_TRUE(cut.saveFile(medium_.path("export/short").c_str(), EXS_LittleEndianExplicit).good());
  makedisc::MakeDiscOptions made = options({"export"});
  made.maxPictureSide = 256;
  makedisc::MakeDiscSummary summary;
  std::string error;
  ASSERT_TRUE(makedisc::makeDisc(made, &summary, &error)) << error;
  const std::string text = makedisc::summaryText(summary);
  EXPECT_EQ(summary.pictures, 1) << text;
  EXPECT_EQ(summary.placeholders, 2) << text;
  EXPECT_NE(
      text.find("bomb), a placeholder saying why in their place; JPEG 2000 (Lossless only): Invalid DICOM "
                "image (obraz JPEG 2000 ma niedozwolony rozmiar)"),
      std::string::npos)
      << text;
  EXPECT_NE(text.find("fewer than the 256000 its frames declare"), std::string::npos) << text;
  // The coded picture is windowed as the plain one; each placeholder fills
  // its series' only picture with light text on grey.
  EXPECT_NEAR(pixelAt(disc("REFIMG/ST000001/SE000001/IM000001.jpg"), 6, 16).at(0), 0, 8);
  EXPECT_NEAR(pixelAt(disc("REFIMG/ST000001/SE000001/IM000001.jpg"), 26, 16).at(0), 255, 8);
  for (const char *series : {"SE000002", "SE000003"}) {
    const std::string picture = disc(std::string("REFIMG/ST000001/") + series + "/IM000001.jpg");
    std::unique_ptr<GdkPixbuf, decltype(&g_object_unref)> shown(
        gdk_pixbuf_new_from_file(picture.c_str(), nullptr), g_object_unref);
    ASSERT_TRUE(shown) << series;
    ASSERT_EQ(gdk_pixbuf_get_width(shown.get()), 256);
    ASSERT_EQ(gdk_pixbuf_get_height(shown.get()), 256);
    const guchar *pixels = gdk_pixbuf_get_pixels(shown.get());
    const int lightest = *std::max_element(pixels, pixels + 255 * gdk_pixbuf_get_rowstride(shown.get()));
    EXPECT_NEAR(pixelAt(picture, 2, 2).at(0), 77, 6) << series;
    EXPECT_GT(lightest, 200) << series;
  }
}

TEST_F(MakeDiscTest, RefusalsLeaveNothingBehind) {
  Spec one;
  writeImage(medium_.path("export/1"), one);
  one.patient = "90020254321";
  writeImage(medium_.path("other/1"), one);
  one.patient.clear();
  writeImage(medium_.path("anonymous/1"), one);
  medium_.writeFile("plain/readme.txt", "nothing here");
  medium_.writeFile("arrow.html", "<p>A → B</p>");
  medium_.writeFile("busy/file", "x");
  struct Case {
    std::vector<std::string> sources;
    std::string report, patient, out, message;
  };
  const std::vector<Case> cases = {
      {{"export", "other"},
       "",
       "",
       "",
       "2 patients; a disc is for one (choose with --patient ID, the name of one without an ID, or the "
       "number "
       "listed):\n  1. ID 80010112345: Kowalski Jan (1 file)\n  2. ID 90020254321: Kowalski Jan (1 file)"},
      {{"export"}, "", "123", "", "no files of patient 123"},
      {{"plain"}, "", "", "", "no DICOM file found"},
      {{"export"}, "arrow.html", "", "", "line 1: U+2192 cannot be written in Windows-1250"},
      {{"export"}, "", "", "busy", "exists and is not an empty folder"}};
  for (const Case &c : cases) {
    makedisc::MakeDiscOptions made = options(c.sources);
    if (!c.report.empty()) made.reports = {medium_.path(c.report)};
    made.patientId = c.patient;
    if (!c.out.empty()) made.out = medium_.path(c.out);
    makedisc::MakeDiscSummary summary;
    std::string error;
    EXPECT_FALSE(makedisc::makeDisc(made, &summary, &error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(medium_.path("disc")));
  }
  makedisc::MakeDiscOptions chosen = options({"export", "other"});
  chosen.patientId = "90020254321";
  chosen.image = medium_.path("patient.iso");
  chosen.toolDirectory = fs::path(toolPath("make-disc-image")).parent_path().string();
  makedisc::MakeDiscSummary summary;
  std::string error;
  EXPECT_TRUE(makedisc::makeDisc(chosen, &summary, &error)) << error;
  EXPECT_EQ(summary.images, 1);
  EXPECT_GT(fs::file_size(chosen.image), 32768u);
  chosen = options({"export", "anonymous"});
  chosen.patientId = "Kowalski Jan";  // listed as "ID (none): Kowalski Jan"
  chosen.out = medium_.path("anonymous disc");
  EXPECT_TRUE(makedisc::makeDisc(chosen, &summary, &error)) << error;
  EXPECT_EQ(summary.images, 1);
  std::vector<std::string> left;
  for (fs::directory_iterator it(medium_.root()), end; it != end; ++it)
    left.push_back(it->path().filename().string());
  EXPECT_EQ(left.size(), 9u);  // no .partial folder of the refused runs
}

TEST_F(MakeDiscTest, APatientWithoutIdOrNameIsChosenByTheListTheLabelsAgreeAndTheAcceptedSyntaxIsKept) {
  Spec named, nameless;
  writeImage(medium_.path("export/a"), named);
  nameless.patient.clear(), nameless.study += ".9", nameless.series += ".9";
  nameless.extra = {{DCM_PatientName, "^^^^"}, {DCM_SOPInstanceUID, "1.2.826.0.1.9.9.1"}};
  writeImage(medium_.path("export/b"), nameless);
  // The same object, found first, in a transfer syntax no general-purpose profile takes.
  nameless.xfer = EXS_LittleEndianImplicit;
  writeImage(medium_.path("export/a implicit"), nameless);
  makedisc::MakeDiscSummary summary;
  std::string error;
  EXPECT_FALSE(makedisc::makeDisc(options({"export"}), &summary, &error));
  EXPECT_NE(error.find("\n  2. ID (none): (no name) (2 files)"), std::string::npos) << error;
  for (const std::string choice : {"2", "(no name)"}) {
    makedisc::MakeDiscOptions made = options({"export"});
    made.patientId = choice;
    made.out = medium_.path("disc " + choice);
    ASSERT_TRUE(makedisc::makeDisc(made, &summary, &error)) << error;
    EXPECT_EQ(summary.images, 1) << choice;
    EXPECT_EQ(readFile(made.out + "/DICOM/ST000001/SE000001/IM000001"), readFile(medium_.path("export/b")));
    ASSERT_EQ(summary.skipped.size(), 1u) << choice;
    EXPECT_EQ(summary.skipped[0],
              medium_.path("export/a implicit") + ": the same object is already on the disc");
    DcmFileFormat directory;
    OFString id;
    ASSERT_TRUE(directory.loadFile((made.out + "/DICOMDIR").c_str()).good());
    directory.getDataset()->findAndGetOFString(DCM_FileSetID, id);
    EXPECT_EQ(id, "VELMORA_DISC") << choice;
    EXPECT_EQ(discimage::labelFromPatientData(made.out), "VELMORA_DISC") << choice;
  }
}

// dcmdump of a DICOMDIR, less the UID each new one gets and the study times
// DCMTK takes from its clock where a file has none.
std::string dumped(const std::string &path) {
  const char *argv[] = {"dcmdump", path.c_str(), nullptr};
  gchar *out = nullptr;
  g_spawn_sync(nullptr, const_cast<gchar **>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, &out,
               nullptr, nullptr, nullptr);
  std::string kept, line;
  std::istringstream lines(out ? out : "");
  g_free(out);
  while (std::getline(lines, line))
    if (line.find("(0002,0003)") == std::string::npos && line.find("(0008,0030)") == std::string::npos)
      kept += line + "\n";
  return kept;
}

// The same DICOMDIR as DCMTK's own interface makes of the files in the same
// order, whatever the order: patients told apart by ID or by name alone,
// character sets, missing values invented, objects beside the images.
TEST_F(MakeDiscTest, TheDicomDirectoryIsTheOneDcmtksInterfaceMakes) {
  writeExport(medium_);
  OFLog::configure(OFLogger::FATAL_LOG_LEVEL);
  std::vector<std::pair<std::string, std::string>> sources;  // (export file, name in the set)
  for (const char *name : {"b/rgb.dcm", "b/palette", "b/j2k.dcm", "b/cine.dcm", "b/s3/1", "b/s3/2", "b/s3/3",
                           "a/IM1", "a/IM2", "a/IM3", "a/IM4", "a/IM5", "a/sr.dcm", "a/pdf.dcm"})
    sources.emplace_back(medium_.path("export/") + name, "");
  const std::vector<std::vector<std::pair<DcmTagKey, std::string>>> others = {
      {{DCM_SpecificCharacterSet, "ISO_IR 192"}, {DCM_PatientName, "Żółć^Jan"}, {DCM_StudyID, "1"}},
      {{DCM_SpecificCharacterSet, "ISO_IR 100"}, {DCM_PatientName, "M\xFCller^J"}, {DCM_InstanceNumber, ""}},
      {{DCM_PatientID, ""}, {DCM_PatientName, ""}, {DCM_SeriesNumber, ""}},
      {{DCM_PatientID, ""}, {DCM_PatientName, ""}, {DCM_StudyTime, "1010"}, {DCM_StudyID, "2"}}};
  for (size_t i = 0; i < others.size(); ++i) {
    Spec other = inSeries("1.2.826.0.1.7." + std::to_string(i % 2), "1.2.826.0.1.7.1", int(i));
    other.patient = "P" + std::to_string(i / 2), other.instance = int(5 - i), other.extra = others[i];
    sources.emplace_back(medium_.path("other" + std::to_string(i)), "");
    writeImage(sources.back().first, other);
  }
  Spec beside = inSeries("1.2.826.0.1.7.0", "1.2.826.0.1.7.1", 0);
  beside.patient = "P0";
  sources.emplace_back(medium_.path("beside.pdf"), "");  // instance 1, in the images' series
  writePdfObject(sources.back().first, beside, "%PDF-1.4\n%%EOF\n");
  std::vector<makedisc::DirectoryFile> files;
  for (size_t i = 0; i < sources.size(); ++i) {
    const std::string name = "DICOM/F" + std::to_string(i % 3) + "/IM" + std::to_string(i);
    fs::create_directories(medium_.path("set/" + name).substr(0, medium_.path("set/" + name).rfind('/')));
    fs::copy_file(sources[i].first, medium_.path("set/" + name));
    makedisc::ExportFile read;
    bool isDirectory = false;
    std::vector<std::string> missing;
    ASSERT_TRUE(makedisc::readExportFile(sources[i].first, &read, &isDirectory, &missing))
        << sources[i].first;
    files.push_back({name, read.metaHeader, read.directoryKeys});
  }
  const std::string root = medium_.path("set");
  for (int order = 0; order < 3; ++order) {
    if (order == 1) std::reverse(files.begin(), files.end());
    if (order == 2) std::rotate(files.begin(), files.begin() + 7, files.end());
    const std::set<std::string> syntaxes = {order == 0 ? UID_LittleEndianExplicitTransferSyntax : "1.2.3"};
    const makedisc::DirectoryProfile profile = makedisc::chooseProfile(syntaxes);
    std::vector<std::string> refused, dcmtkRefused;
    std::string error;
    fs::remove(root + "/DICOMDIR");
    ASSERT_TRUE(makedisc::writeDicomDirectory(root, files, profile, "SET", &refused, &error)) << error;
    DicomDirInterface dcmtk;  // as this tool made it before
    dcmtk.disableTransferSyntaxCheck(profile.transferSyntaxCheck);
    dcmtk.disableConsistencyCheck();
    fs::remove(root + "/REFDIR");
    ASSERT_TRUE(dcmtk
                    .createNewDicomDir(DicomDirInterface::E_ApplicationProfile(profile.profile),
                                       (root + "/REFDIR").c_str(), "SET")
                    .good());
    for (size_t i = 0; i < files.size(); ++i) {
      dcmtk.disableFileFormatCheck(files[i].metaHeader);
      dcmtk.enableInventMode(!files[i].keys || i + 1 == files.size());
      OFCondition added = dcmtk.addDicomFile(files[i].path.c_str(), root.c_str());
      if (added == EC_ApplicationProfileViolated && !dcmtk.inventMode()) {
        dcmtk.enableInventMode();
        added = dcmtk.addDicomFile(files[i].path.c_str(), root.c_str());
      }
      if (added.bad()) dcmtkRefused.push_back(files[i].path + ": " + added.text());
    }
    ASSERT_TRUE(dcmtk.writeDicomDir().good());
    EXPECT_EQ(refused, dcmtkRefused) << order;
    EXPECT_EQ(refused.size(), order == 0 ? 10u : 0u) << order;  // STD-GEN-CD: Explicit VR Little Endian only
    const std::string ours = dumped(root + "/DICOMDIR");
    EXPECT_EQ(ours, dumped(root + "/REFDIR")) << order;
    EXPECT_NE(ours.find("DCMTKPAT000001"), std::string::npos) << order;
  }
}

TEST_F(MakeDiscTest, AnExportLargerThanTheMediumBecomesCompleteDiscsTheNavigatorOpensOneByOne) {
  writeExport(medium_);
  makedisc::MakeDiscOptions made = options({"export"});
  made.medium = "1TB", made.out = medium_.path("whole");
  makedisc::MakeDiscSummary whole, summary;
  std::string error;
  ASSERT_TRUE(makedisc::makeDisc(made, &whole, &error)) << error;
  EXPECT_EQ(whole.discs, 1);
  // A medium holding half the examinations.
  made.medium = std::to_string(whole.everyDiscBytes + whole.examinationBytes / 2) + "B";
  made.out = disc(""), made.image = medium_.path("set.iso");
  made.toolDirectory = fs::path(toolPath("make-disc-image")).parent_path().string();
  ASSERT_TRUE(makedisc::makeDisc(made, &summary, &error)) << error;
  ASSERT_EQ(summary.discs, 3) << makedisc::summaryText(summary);
  std::set<std::string> objects;
  for (int k = 1; k <= 3; ++k) {
    SCOPED_TRACE(k);
    const std::string root = disc(std::to_string(k)), number = std::to_string(k);
    // The DICOMDIR names exactly the DICOM files of its disc.
    std::set<std::string> onDisc, listed;
    for (fs::recursive_directory_iterator it(root + "/DICOM"), end; it != end; ++it)
      if (fs::is_regular_file(it->path()))
        onDisc.insert(it->path().lexically_relative(root).generic_string());
    DcmDicomDir directory((root + "/DICOMDIR").c_str());
    std::function<void(DcmDirectoryRecord &)> walk = [&](DcmDirectoryRecord &record) {
      OFString file;
      if (record.findAndGetOFStringArray(DCM_ReferencedFileID, file).good()) {
        std::string name = file.c_str();
        std::replace(name.begin(), name.end(), '\\', '/');
        listed.insert(name);
        DcmFileFormat object;
        OFString uid;
        ASSERT_TRUE(object.loadFile((root + "/" + name).c_str()).good());
        object.getDataset()->findAndGetOFString(DCM_SOPInstanceUID, uid);
        EXPECT_TRUE(objects.insert(uid.c_str()).second) << name << " is on two discs";
      }
      for (DcmDirectoryRecord *sub = record.nextSub(nullptr); sub; sub = record.nextSub(sub)) walk(*sub);
    };
    walk(directory.getRootRecord());
    EXPECT_EQ(listed, onDisc);
    const std::string readme = readFile(root + "/README.TXT");
    EXPECT_NE(readme.find("OBRAZOWYMI " + number + "/3\r\n"), std::string::npos) << readme;
    for (int other = 1; other <= 3; ++other)
      EXPECT_EQ(readme.find("  " + std::to_string(other) + "/3: ") != std::string::npos, other != k)
          << readme;
    gchar *pvd = nullptr, *chatter = nullptr;
    const std::string image = medium_.path("set-" + number + ".iso"),
                      command = "xorriso -indev " + image + " -pvd_info";
    ASSERT_TRUE(g_spawn_command_line_sync(command.c_str(), &pvd, &chatter, nullptr, nullptr));
    EXPECT_NE(std::string(pvd).find("Volume Id    : KOWALSKI_JAN_" + number + "_3"), std::string::npos)
        << pvd;
    EXPECT_LE(fs::file_size(image), whole.everyDiscBytes + whole.examinationBytes / 2);
    g_free(pvd), g_free(chatter);
    // The navigator's catalogue pairs each disc's trees: a thumbnail per picture.
    int pictures = 0, thumbnails = 0;
    for (fs::recursive_directory_iterator it(root + "/REFIMG"), end; it != end; ++it)
      pictures += fs::is_regular_file(it->path()) ? 1 : 0;
    ASSERT_EQ(::chdir(root.c_str()), 0);
    DicomFileIndex = scanDicomTree(fs::absolute("DICOM"));
    StudyMetadataIndex = readStudyMetadata(DicomFileIndex);
    BranchTree tree;
    createTreeRoot(tree);
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_container_add(GTK_CONTAINER(window), treeOuterEventBox(tree));
    testing::internal::CaptureStdout();
    for (const auto &study : buildStudyBranches(tree, fs::absolute("REFIMG")))
      for (const auto &series : study.second) thumbnails += static_cast<int>(series.second.size());
    testing::internal::GetCapturedStdout();
    gtk_widget_destroy(window);
    EXPECT_GT(pictures, 0);
    EXPECT_EQ(thumbnails, pictures);
    DicomFileIndex.clear();
    StudyMetadataIndex.clear();
    loadedImageCount = totalImageCount = 0;
  }
  EXPECT_EQ(objects.size(), 15u);
  // A medium smaller than a series: refused, nothing under the target's name.
  made.medium = std::to_string(whole.everyDiscBytes + 4096) + "B";
  made.out = medium_.path("refused"), made.image.clear();
  EXPECT_FALSE(makedisc::makeDisc(made, &summary, &error));
  EXPECT_NE(error.find("a series is never split"), std::string::npos) << error;
  for (fs::directory_iterator it(medium_.path("")), end; it != end; ++it)
    EXPECT_EQ(it->path().filename().string().find("refused"), std::string::npos);
}

TEST(MakeDiscMedia, SizesAreReadAndPlansSplitIntoWholeSeriesKeepingStudiesTogether) {
  const char *names[] = {"cd",   "DVD", "dvd-dl",  "bd",  "650MB", "1.5GiB",
                         "200k", "0MB", "0.0001B", "700", "MB",    "7 parsecs"};
  const std::uint64_t sizes[] = {737280000, 4700372992, 8543666176, 25025314816,
                                 650000000, 1610612736, 200000};
  for (size_t i = 0; i < sizeof names / sizeof *names; ++i) {
    std::uint64_t bytes = 0, size = i < 7 ? sizes[i] : 0;
    std::string error;
    EXPECT_EQ(makedisc::mediumBytes(names[i], &bytes, &error), size != 0) << names[i];
    EXPECT_EQ(size != 0 ? bytes : error.empty(), size) << names[i] << error;
  }
  // Rooms per study and series, each disc's budget, and the discs ("study.series", "|" between discs).
  struct Split {
    std::vector<std::vector<std::uint64_t>> room;
    std::string discs, refusal;
  } rows[] = {
      {{{4, 4}, {3}}, "0.0 0.1|1.0", ""},
      {{{4}, {7}, {3}}, "0.0|1.0 2.0", ""},
      {{{6, 6, 6}}, "0.0|0.1|0.2", ""},
      {{{3}, {6, 6}}, "0.0 1.0|1.1", ""},
      {{{11}}, "", "a series is never split"},
      {std::vector<std::vector<std::uint64_t>>(99, {10}), "", ""},
      {std::vector<std::vector<std::uint64_t>>(100, {10}), "", "more than 99 discs"},
  };
  for (const Split &row : rows) {
    makedisc::DiscPlan plan;
    for (const auto &study : row.room) {
      plan.studies.emplace_back();
      for (size_t i = 0; i < study.size(); ++i) plan.studies.back().series.emplace_back();
    }
    std::vector<makedisc::DiscShare> discs;
    std::string error, text;
    EXPECT_EQ(makedisc::splitPlan(plan, row.room, 10, &discs, &error), row.refusal.empty()) << error;
    EXPECT_NE(error.find(row.refusal), std::string::npos) << error;
    for (const makedisc::DiscShare &share : discs) {
      text += text.empty() ? "" : "|";
      for (const auto &one : share)
        text += (text.empty() || text.back() == '|' ? "" : " ") + std::to_string(one.first) + "." +
                std::to_string(one.second);
    }
    EXPECT_EQ(row.discs.empty() ? "" : text, row.discs);
    EXPECT_EQ(discs.size(), row.room.size() == 99 ? 99u : discs.size());
  }
}

// Names as the refusal lists them, also in the sets DCMTK cannot convert here.
TEST(MakeDiscNames, ReadableInEveryCharacterSet) {
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"ISO_IR 100", "Buc^J\xE9r\xF4me", "Buc J\u00E9r\u00F4me"},
      {"\\ISO 2022 IR 87", "Yamada^Tarou=\x1B$B;3ED\x1B(B^\x1B$BB@O:\x1B(B",
       "Yamada Tarou=\u5C71\u7530 \u592A\u90CE"},
      {"\\ISO 2022 IR 58",
       "Zhang^XiaoDong=\x1B$)A\xD5\xC5^\x1B$)A\xD0\xA1\xB6\xAB=", "Zhang XiaoDong=\u5F20 \u5C0F\u4E1C="}};
  for (const auto &c : cases) {
    makedisc::ExportFile file;
    file.characterSet = std::get<0>(c);
    file.patientName = std::get<1>(c);
    EXPECT_EQ(makedisc::readableName(file), std::get<2>(c)) << std::get<0>(c);
  }
}

// Polish counts in the README: the noun's form follows the number.
TEST(MakeDiscReadme, CountsTakeTheFormTheirNumberAsks) {
  const std::vector<std::pair<int, std::string>> cases = {
      {0, "0 serii"},   {1, "1 seria"},   {2, "2 serie"},     {5, "5 serii"},
      {12, "12 serii"}, {22, "22 serie"}, {114, "114 serii"}, {1003, "1003 serie"}};
  for (const auto &c : cases) EXPECT_EQ(makedisc::counted(c.first, "seria", "serie", "serii"), c.second);
}

TEST(MakeDiscPictures, ScaledToTheLongerSideWithTheAspectKept) {
  const std::vector<std::tuple<int, int, double, int, int, int>> cases = {{2000, 1000, 1.0, 1024, 1024, 512},
                                                                          {100, 100, 2.0, 1024, 100, 200},
                                                                          {4000, 3000, 1.0, 400, 400, 300},
                                                                          {300, 200, 1.0, 1024, 300, 200},
                                                                          {5000, 1, 1.0, 1024, 1024, 1}};
  for (const auto &c : cases) {
    makedisc::Raster raster{std::get<0>(c), std::get<1>(c), 1, {}};
    raster.pixels.assign(static_cast<size_t>(raster.width) * raster.height, 77);
    const makedisc::Raster fitted = makedisc::fitRaster(raster, std::get<2>(c), std::get<3>(c));
    EXPECT_EQ(fitted.width, std::get<4>(c));
    EXPECT_EQ(fitted.height, std::get<5>(c));
    EXPECT_EQ(fitted.pixels.at(fitted.pixels.size() / 2), 77);
  }
}

}  // namespace
