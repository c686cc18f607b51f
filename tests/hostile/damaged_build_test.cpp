// Browser builds on a damaged or failing medium: files that vanish or become
// unreadable while the thumbnails load (a disc pulled out), pictures whose
// headers declare enormous sizes, and damaged DICOM files in every position.
// The build ends with the warning, nothing crashes, and the next press tries
// again.
#include "browser/browser_state.h"
#include "browser/series_loading.h"
#include "browser/unreadable_picture.h"
#include "catalogue/reference_catalogue.h"
#include "catalogue/study_metadata_reader.h"
#include "ui/ui_state.h"

#include "browser/thumbnail_index.h"
#include "support/browser_session.h"
#include "support/dicom_fixture.h"
#include "support/file_permissions.h"
#include "support/gui.h"
#include "support/picture_bytes.h"
#include "support/scoped_medium.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include <sys/stat.h>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>

namespace {

using namespace testsupport;
namespace fs = boost::filesystem;

std::vector<GtkWidget *> failureWarnings() { return messageDialogsTitled("Obrazy referencyjne"); }

int thumbnailCount() {
  int count = 0;
  for (const auto &study : ThumbnailIndex)
    for (const auto &series : study.second) count += static_cast<int>(series.second.size());
  return count;
}

// The build ended with the warning and left nothing of itself behind.
void expectFailedBuild() {
  EXPECT_EQ(failureWarnings().size(), 1u);
  EXPECT_EQ(browser.browserWindow, nullptr);
  EXPECT_TRUE(ThumbnailIndex.empty());
  EXPECT_FALSE(referenceBrowserBusy);
  EXPECT_FALSE(gtk_widget_get_visible(loadProgressBar));
  EXPECT_EQ(loadedImageCount, 0);
  EXPECT_EQ(totalImageCount, 0);
}

// Answers the warning as the user does.
void dismissWarnings() {
  for (GtkWidget *dialog : failureWarnings()) gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  drainEvents();
}

// Runs `action` at the build's first event drain: right after the first entry
// of the first series has been loaded.
void atFirstDrain(std::function<void()> action) {
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer data) -> gboolean {
        (*static_cast<std::function<void()> *>(data))();
        return G_SOURCE_REMOVE;
      },
      new std::function<void()>(std::move(action)),
      [](gpointer data) { delete static_cast<std::function<void()> *>(data); });
}

// ---- The medium changes while the thumbnails load ----

struct Interruption {
  const char *name;
  // Damages the medium in the middle of the build.
  std::function<void(const ScopedMedium &)> damage;
  // Undoes it, as a user who puts the disc back.
  std::function<void(const ScopedMedium &)> repair;
  // Thumbnails of a build that passes the damage over; 0: the medium fails,
  // and the build ends with the warning.
  int thumbnails = 0;
  // The entry that is passed over, named on the trace and standard error.
  const char *passedOver = "";
};

void moveAway(const ScopedMedium &medium, const std::string &relative) {
  fs::rename(medium.path(relative), medium.path("away"));
}
void moveBack(const ScopedMedium &medium, const std::string &relative) {
  fs::rename(medium.path("away"), medium.path(relative));
}
void replaceBy(const ScopedMedium &medium, const std::string &relative, const std::string &bytes) {
  moveAway(medium, relative);
  medium.writeFile(relative, bytes);
}
void putBack(const ScopedMedium &medium, const std::string &relative) {
  fs::remove(medium.path(relative));
  moveBack(medium, relative);
}

const Interruption kInterruptions[] = {
    {"PictureLaterInTheSeriesVanishes",
     [](const ScopedMedium &m) { moveAway(m, "REFIMG/ST001/SE001/IM003.png"); },
     [](const ScopedMedium &m) { moveBack(m, "REFIMG/ST001/SE001/IM003.png"); }, 8, "ST001/SE001/IM003.png"},
    {"LaterSeriesFolderVanishes", [](const ScopedMedium &m) { moveAway(m, "REFIMG/ST001/SE002"); },
     [](const ScopedMedium &m) { moveBack(m, "REFIMG/ST001/SE002"); }, 7, "ST001/SE002"},
    {"LaterStudyFolderVanishes", [](const ScopedMedium &m) { moveAway(m, "REFIMG/ST002"); },
     [](const ScopedMedium &m) { moveBack(m, "REFIMG/ST002"); }, 5, "REFIMG/ST002"},
    {"WholeDiscIsGone", [](const ScopedMedium &m) { moveAway(m, "REFIMG"); },
     [](const ScopedMedium &m) { moveBack(m, "REFIMG"); }},
    {"PictureBecomesUnreadable",
     [](const ScopedMedium &m) { ::chmod(m.path("REFIMG/ST002/SE001/IM002.png").c_str(), 0); },
     [](const ScopedMedium &m) { ::chmod(m.path("REFIMG/ST002/SE001/IM002.png").c_str(), 0644); }, 8,
     "ST002/SE001/IM002.png"},
    {"SeriesFolderCannotBeListed",
     [](const ScopedMedium &m) { ::chmod(m.path("REFIMG/ST001/SE002").c_str(), 0); },
     [](const ScopedMedium &m) { ::chmod(m.path("REFIMG/ST001/SE002").c_str(), 0755); }, 7, "ST001/SE002"},
    {"PictureReadsAsBytesWithoutSignature",
     [](const ScopedMedium &m) { replaceBy(m, "REFIMG/ST001/SE002/IM001.png", std::string(4096, '\xA5')); },
     [](const ScopedMedium &m) { putBack(m, "REFIMG/ST001/SE002/IM001.png"); }, 8, "ST001/SE002/IM001.png"},
    {"DesktopFilesBurntWithTheFolder",
     [](const ScopedMedium &m) {
       m.writeFile("REFIMG/ST002/SE001/Thumbs.db", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
       m.writeFile("REFIMG/ST002/SE001/desktop.ini", "[.ShellClassInfo]\r\n");
       m.writeFile("REFIMG/ST002/SE001/.DS_Store", std::string("\0\0\0\1Bud1", 8));
       m.writeFile("REFIMG/ST002/SE001/empty.jpg", "");
     },
     [](const ScopedMedium &) {}, 9, "ST002/SE001/Thumbs.db"},
};

void PrintTo(const Interruption &interruption, std::ostream *out) { *out << interruption.name; }

class InterruptedBuild : public BrowserSession, public testing::WithParamInterface<Interruption> {};

TEST_P(InterruptedBuild, OnlyAFailingMediumEndsTheBuildWithTheWarning) {
  makeMedium(sampleStudies());
  const Interruption &interruption = GetParam();
  {
    // Permissions hold for the test, even when it runs as the superuser.
    ScopedPermissionChecks permissions;
    bool damaged = false;
    atFirstDrain([&] {
      interruption.damage(medium_);
      damaged = true;
    });
    testing::internal::CaptureStderr();
    pressTile();
    std::string errors = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(damaged);
    if (interruption.thumbnails == 0) {
      expectFailedBuild();
      dismissWarnings();
    } else {
      EXPECT_TRUE(failureWarnings().empty());
      ASSERT_NE(browser.browserWindow, nullptr);
      EXPECT_EQ(thumbnailCount(), interruption.thumbnails);
      EXPECT_NE(errors.find("pominięty \""), std::string::npos) << errors;
      EXPECT_NE(errors.find(interruption.passedOver), std::string::npos) << errors;
    }
    interruption.repair(medium_);
  }
  if (interruption.thumbnails != 0) return;

  pressTile();
  ASSERT_NE(browser.browserWindow, nullptr);
  EXPECT_TRUE(waitUntil([] { return gtk_widget_get_mapped(browser.browserWindow); }));
  EXPECT_EQ(thumbnailCount(), 9);
  EXPECT_TRUE(failureWarnings().empty());
}

INSTANTIATE_TEST_SUITE_P(HostileMedium, InterruptedBuild, testing::ValuesIn(kInterruptions),
                         [](const testing::TestParamInfo<Interruption> &info) { return info.param.name; });

// ---- The main window closed while the thumbnails load ----

using ClosedMidBuild = BrowserSession;

TEST_F(ClosedMidBuild, TheBuildEndsAtTheNextEntryAndSoDoesTheMainLoop) {
  makeMedium(sampleStudies());
  std::string traced;
  gdk_threads_add_idle(
      [](gpointer data) -> gboolean {
        atFirstDrain([] { sendDeleteEvent(mainWindow); });
        testing::internal::CaptureStdout();
        sendButtonEvent(gtk_widget_get_parent(findWidget(mainWindow, "ObrazRef")));
        *static_cast<std::string *>(data) = testing::internal::GetCapturedStdout();
        return G_SOURCE_REMOVE;
      },
      &traced);
  // As in the program: closing the main window ends the main loop.
  gtk_main();
  EXPECT_EQ(mainWindow, nullptr);
  EXPECT_EQ(loadProgressBar, nullptr);
  EXPECT_EQ(browser.browserWindow, nullptr);
  EXPECT_TRUE(failureWarnings().empty());
  EXPECT_TRUE(ThumbnailIndex.empty());
  EXPECT_FALSE(referenceBrowserBusy);
  size_t decoded = 0;
  for (size_t at = traced.find("orig_pixbuf"); at != std::string::npos;
       at = traced.find("orig_pixbuf", at + 1))
    ++decoded;
  EXPECT_EQ(decoded, 1u) << traced;
  EXPECT_NE(traced.find("budowanie przerwane"), std::string::npos) << traced;
}

// ---- Pictures that declare enormous sizes ----

using EnormousPictures = BrowserSession;

TEST_F(EnormousPictures, SizesBeyondTheLimitsAreRefusedBeforeDecoding) {
  const struct {
    uint32_t width, height;
    bool refused;
  } sizes[] = {{16384, 1, false}, {1, 16384, false}, {16385, 1, true}, {1, 16385, true}, {8193, 8192, true}};
  for (const auto &size : sizes) {
    medium_.writeFile("big.png", pngDeclaring(size.width, size.height));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    GtkWidget *branch = makeImageBranch(2, 128, 128, "big.png");
    std::string errors = testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(errors.find("zbyt duży") != std::string::npos, size.refused)
        << size.width << "x" << size.height;
    if (size.refused) {
      EXPECT_EQ(branch, nullptr);
    }
    if (branch != nullptr) {
      g_object_ref_sink(branch);
      gtk_widget_destroy(branch);
      g_object_unref(branch);
    }
  }
}

// ---- Pictures the decoder refuses stand as placeholders ----

struct BadPicture {
  const char *name;
  std::string bytes;
  const char *said;            // part of the reason on standard error
  bool whileBuilding = false;  // written once the build has begun: changed while read
};
void PrintTo(const BadPicture &picture, std::ostream *out) { *out << picture.name; }

const BadPicture kBadPictures[] = {
    {"DamagedPng", "\x89PNG\r\n\x1a\n" + std::string(4096, '\xA5'), "PNG"},
    {"DamagedJpeg", "\xFF\xD8\xFF\xE0" + std::string(4096, '\x11'), "JPEG"},
    {"OverAHundredScans", jpegOfEmptyScans(64, 64, 150), "skanów"},
    {"PngOfAHundredThousandPixelsASide", pngDeclaring(100000, 100000), "zbyt duży"},
    {"JpegBeyondTheSideLimit", jpegDeclaring(16385, 2), "zbyt duży"},
    {"ChangedWhileRead", "\x89PNG\r\n\x1a\n" + std::string(4096, '\x5A'), "PNG", true},
};

class RefusedPicture : public BrowserSession, public testing::WithParamInterface<BadPicture> {};

TEST_P(RefusedPicture, StandsAsAPlaceholderCountedInItsSeriesAndTheBuildGoesOn) {
  const BadPicture &picture = GetParam();
  makeMedium(sampleStudies());
  // The series after the first is read only after the first drain.
  const int series = picture.whileBuilding ? 1 : 0, image = picture.whileBuilding ? 0 : 1;
  const std::string bad =
      "REFIMG/ST001/SE00" + std::to_string(series + 1) + "/IM00" + std::to_string(image + 1) + ".png";
  atFirstDrain([&] {
    if (picture.whileBuilding) medium_.writeFile(bad, picture.bytes);
  });
  if (!picture.whileBuilding) medium_.writeFile(bad, picture.bytes);
  testing::internal::CaptureStderr();
  pressTile();
  std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(failureWarnings().empty());
  ASSERT_NE(browser.browserWindow, nullptr);
  EXPECT_EQ(thumbnailCount(), 9);
  EXPECT_EQ(gtk_image_get_pixbuf(GTK_IMAGE(thumbnail(0, series, image))), unreadablePicture());
  EXPECT_NE(errors.find("nie można odczytać obrazu: " + bad), std::string::npos) << errors;
  EXPECT_NE(errors.find(picture.said), std::string::npos) << errors;
  // Pressed, it is shown where it stands in its series.
  ASSERT_TRUE(waitUntil([] { return gtk_widget_get_mapped(browser.browserWindow); }));
  expandPathTo(thumbnail(0, series, image));
  sendButtonEvent(gtk_widget_get_parent(thumbnail(0, series, image)));
  EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(browser.positionLabel))).substr(0, 11),
            series == 1 ? "Obraz 1 z 2" : "Obraz 2 z 3");
}

INSTANTIATE_TEST_SUITE_P(HostileMedium, RefusedPicture, testing::ValuesIn(kBadPictures),
                         [](const testing::TestParamInfo<BadPicture> &info) { return info.param.name; });

// A vector picture under a .jpg name is never handed to the toolkit's SVG
// loader, and a progressive JPEG of endless empty scans is refused: either way
// the build goes on at once, with at most a placeholder for it.
TEST_F(EnormousPictures, DisguisedAndEndlessPicturesNeverHoldTheBuild) {
  makeMedium(sampleStudies());
  // Both in one build, which goes on after each.
  medium_.writeFile("REFIMG/ST002/SE001/IM004.jpg", jpegOfEmptyScans(2048, 2048, 2000));
  medium_.writeFile("REFIMG/ST002/SE001/IM005.jpg", svgBytes());
  auto start = std::chrono::steady_clock::now();
  testing::internal::CaptureStderr();
  pressTile();
  testing::internal::GetCapturedStderr();
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  EXPECT_FALSE(referenceBrowserBusy);
  EXPECT_LE(thumbnailCount(), 11);  // their placeholders at most
  EXPECT_TRUE(failureWarnings().empty());
}

// ---- Damaged DICOM files ----

TEST(DamagedDicomValues, ValuesBeyondTheReadLengthAreNotReadAndLeaveTheirFieldsEmpty) {
  ScopedMedium medium;
  const std::string longest(4096, 'A');
  const std::string tooLong(4097, 'B');
  const std::string megabytes(8 * 1024 * 1024, 'C');
  ASSERT_TRUE(writeDicomFile(medium.path("DICOM/ST1/SE1/IM1"),
                             {{DCM_PatientName, longest},
                              {DCM_PatientID, tooLong},
                              {DCM_Modality, megabytes},
                              {DCM_StudyDescription, megabytes},
                              {DCM_SeriesDescription, "Osiowa"}},
                             DicomEncoding{EXS_LittleEndianImplicit, true, 8}));
  StudyMetadataMap records = readStudyMetadata({{0, {{0, {"DICOM/ST1/SE1/IM1"}}}}});
  const StudyMetadata &record = records.at(0).at(0).at(0);
  EXPECT_EQ(record.patientName, longest);
  EXPECT_EQ(record.patientId, "");
  EXPECT_EQ(record.modality, "");
  EXPECT_EQ(record.studyDescription, "");
  EXPECT_EQ(record.seriesDescription, "Osiowa");
}

// Three studies of one series each; every picture is 10 pixels wider than
// its study's number.
std::vector<StudyOnMedium> threeStudies() {
  return {{"CT", "Głowa", {{"Osiowa", {{10, 10}, {10, 11}}}}},
          {"MR", "Kolano", {{"Strzałkowa", {{11, 10}}}}},
          {"DX", "Klatka", {{"PA", {{12, 10}, {12, 11}}}}}};
}

struct DicomDamage {
  const char *name;
  std::function<std::string(const std::string &)> damaged;  // the damaged bytes from the sound ones
};

const DicomDamage kDicomDamages[] = {
    {"Empty", [](const std::string &) { return std::string(); }},
    {"Garbage", [](const std::string &sound) { return std::string(sound.size(), '\x5A'); }},
    {"CutInItsHeader", [](const std::string &sound) { return sound.substr(0, 140); }},
    {"PreambleOnly", [](const std::string &) { return std::string(128, '\0') + "DICM"; }},
};

void PrintTo(const DicomDamage &damage, std::ostream *out) { *out << damage.name; }

class DamagedDicom : public BrowserSession,
                     public testing::WithParamInterface<std::tuple<DicomDamage, int>> {};

TEST_P(DamagedDicom, ASeriesTakesItsRecordFromItsNextReadableFileAndEveryStudyIsShown) {
  const auto &[damage, position] = GetParam();
  makeMedium(threeStudies());
  const std::string series = "DICOM/ST00" + std::to_string(position + 1) + "/SE001/";
  medium_.writeFile(series + "IM000001", damage.damaged(readFile(medium_.path(series + "IM000001"))));
  // The first study's series has a sound file after the damaged one; the others have none.
  if (position == 0) writeSeriesRecord(series + "IM000002", "US", "Brzuch", "Poprzeczna");

  testing::internal::CaptureStderr();
  pressTile();
  std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(failureWarnings().empty());
  ASSERT_NE(browser.browserWindow, nullptr);
  EXPECT_EQ(ThumbnailIndex.size(), 3u);
  EXPECT_EQ(StudyMetadataIndex.size(), 3u);
  EXPECT_NE(errors.find("pominięty \"" + series + "IM000001\""), std::string::npos) << errors;
  EXPECT_EQ(StudyMetadataIndex.at(position).at(0).at(0).modality, position == 0 ? "US" : "");
  EXPECT_EQ(StudyMetadataIndex.at(position == 0 ? 1 : 0).at(0).at(0).modality, position == 0 ? "MR" : "CT");
}

using DamagedDicomCase = std::tuple<DicomDamage, int>;

std::string damagedDicomName(const testing::TestParamInfo<DamagedDicomCase> &info) {
  static const char *const positions[] = {"First", "Middle", "Last"};
  return std::string(std::get<0>(info.param).name) + "In" + positions[std::get<1>(info.param)] + "Study";
}

INSTANTIATE_TEST_SUITE_P(HostileMedium, DamagedDicom,
                         testing::Combine(testing::ValuesIn(kDicomDamages), testing::Values(0, 1, 2)),
                         damagedDicomName);

}  // namespace
