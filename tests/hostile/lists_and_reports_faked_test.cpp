// Description lists and reports on a hostile medium: a list file of many
// megabytes with a hundred thousand names, NUL bytes and bytes that are not
// UTF-8, and reports named with ampersands, angle brackets, line breaks and
// such bytes. The chooser opens at once with valid texts, every report opens,
// and nothing is written anywhere but the working directory.
#include "descriptions/description_chooser.h"
#include "descriptions/description_list.h"
#include "descriptions/wrapper_page.h"

#include "catalogue/reference_catalogue.h"
#include "descriptions/descriptions_fixture.h"
#include "support/dicom_fixture.h"
#include "support/scratch_folder.h"
#include "support/tree_snapshot.h"

#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include <sys/stat.h>
#include <algorithm>

namespace {

using namespace testsupport;
using namespace std::string_literals;
namespace fs = boost::filesystem;

bool validUtf8(const std::string &text) {
  return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
}

class HostileReports : public DescriptionsTest {
 protected:
  // The row event boxes of the chooser's columns, in order.
  static std::vector<GtkWidget *> rowsOf(GtkWidget *chooser) {
    std::vector<GtkWidget *> rows;
    GtkWidget *scrolled = findWidget(chooser, "scrolled_window");
    GtkWidget *viewport = gtk_bin_get_child(GTK_BIN(scrolled));
    GtkWidget *columns = childrenOf(gtk_bin_get_child(GTK_BIN(viewport))).at(0);
    for (GtkWidget *column : childrenOf(columns))
      rows.push_back(gtk_bin_get_child(GTK_BIN(childrenOf(column).at(0))));
    return rows;
  }

  static std::string labelUnder(GtkWidget *row) {
    GtkWidget *column = gtk_widget_get_parent(gtk_widget_get_parent(row));
    return gtk_label_get_text(GTK_LABEL(childrenOf(column).at(1)));
  }
};

TEST_F(HostileReports, AListOfManyMegabytesOpensTheChooserWithItsFirstReportsAtOnce) {
  // Odd names first, then a hundred thousand ordinary ones, noise without
  // quotes, and after a NUL byte names that must not count.
  std::string list = "var opisy = [\"\xFF\xFE\x80.pdf\", \"\xC5.html\", \"a\tb\r\n.htm\", ";
  for (int i = 0; i < 100000; ++i) list += "\"opis_" + std::to_string(i) + ".html\", ";
  list += "];\n" + std::string(4 * 1024 * 1024, '.') + "\0[\"po_zerze.pdf\"]"s;
  ASSERT_GT(list.size(), 5u * 1024 * 1024);
  GtkWidget *tile = buildTile(list);
  ASSERT_NE(tile, nullptr);
  ASSERT_EQ(descriptionList.size(), 100003u);
  EXPECT_EQ(descriptionList[0], "\xFF\xFE\x80.pdf");
  EXPECT_EQ(descriptionList.back(), "opis_99999.html");

  StudyMetadataIndex[0][0] = {StudyMetadata{"Kowalski\xFF^Jan", "1", "CT", "20240101", "<b>\xC5</b>", ""}};
  sendButtonEvent(tile);
  ASSERT_NE(descriptionChooserWindow, nullptr);
  std::vector<GtkWidget *> rows = rowsOf(descriptionChooserWindow);
  ASSERT_EQ(rows.size(), kMostChooserColumns);
  int width, height;
  gtk_widget_get_size_request(descriptionChooserWindow, &width, &height);
  EXPECT_EQ(width, descriptionChooserWidth(descriptionList.size()));
  for (GtkWidget *row : {rows[0], rows[1], rows[2], rows.back()}) {
    gchar *tooltip = gtk_widget_get_tooltip_text(row);
    ASSERT_NE(tooltip, nullptr);
    EXPECT_TRUE(validUtf8(tooltip)) << tooltip;
    EXPECT_LE(std::string(tooltip).size(), 149u);
    g_free(tooltip);
    EXPECT_EQ(labelUnder(row), "Kowalski\xEF\xBF\xBD^Jan\n[<b>\xEF\xBF\xBD</b>]");
  }
  EXPECT_STREQ(gtk_widget_get_name(rows[0]), "\xFF\xFE\x80.pdf");

  // The odd first report is missing on the medium: the warning names it in valid text.
  testing::internal::CaptureStdout();
  sendButtonEvent(rows[0]);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(warnings().size(), 1u);
  std::string warning = warningText(warnings()[0]);
  EXPECT_TRUE(validUtf8(warning)) << warning;
  EXPECT_NE(warning.find("\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD.pdf"), std::string::npos) << warning;
  EXPECT_TRUE(shellCalls().empty());
}

TEST_F(HostileReports, ReportsWithOddNamesOpenAndWriteOnlyIntoTheWorkingDirectory) {
  registerPdfReader();
  const std::vector<std::string> names = {
      "R&D <raport> 'pierwszy'.html", "linia\nłamana.html",  "\xFF\xFEzły.htm",     "-rf.html",
      "folder <&>/opis\n.html",       "wyniki & <dane>.pdf", "folder <&>/\xFF.pdf",
  };
  std::string list = "[";
  for (const std::string &name : names) {
    medium_.writeFile(name, "<p>" + name + "</p>");
    list += "\"" + name + "\",";
  }
  GtkWidget *tile = buildTile(list + "]");
  ASSERT_NE(tile, nullptr);
  const TreeSnapshot mediumBefore = snapshotTree(medium_.root());
  sendButtonEvent(tile);
  std::vector<GtkWidget *> rows = rowsOf(descriptionChooserWindow);
  ASSERT_EQ(rows.size(), names.size());

  for (size_t i = 0; i < names.size(); ++i) {
    testing::internal::CaptureStdout();
    sendButtonEvent(rows[i]);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(shellCalls().size(), i + 1) << names[i];
    const fakedesktop::ShellCall call = shellCalls()[i];
    if (descriptionKind(names[i]) == DescriptionKind::Pdf) {
      EXPECT_EQ(call.file, names[i]);
      continue;
    }
    EXPECT_EQ(call.file, tmpDirectory + "/" + names[i]);
    EXPECT_EQ(readFile(call.file), wrapperPageText("<p>" + names[i] + "</p>")) << names[i];
  }
  EXPECT_TRUE(warnings().empty());
  EXPECT_EQ(snapshotDifferences(mediumBefore, snapshotTree(medium_.root())), "");
  // Everything written is a page of a listed report, or the design's pictures
  // beside it (or the run's own marker).
  for (const auto &[path, entry] : snapshotTree(tmpDirectory)) {
    if (entry.kind != 'f' || path == "descrlist.js" || path == ".velmora-run" || path.rfind("img/", 0) == 0)
      continue;
    EXPECT_NE(std::find(names.begin(), names.end(), path), names.end()) << path;
  }
}

TEST_F(HostileReports, AReportThatLinksOffTheMediumCountsAsMissing) {
  registerPdfReader();
  ScratchFolder outside;
  const std::string secret = outside.path("tajne.txt");
  ASSERT_TRUE(g_file_set_contents(secret.c_str(), "<p>tajne</p>", -1, nullptr));
  medium_.writeFile("raporty/opis.html", "<p>opis</p>");
  fs::create_directories(medium_.path("linki"));
  fs::create_symlink(secret, medium_.path("linki/obcy.html"));
  fs::create_symlink(secret, medium_.path("linki/obcy.pdf"));
  fs::create_symlink("../raporty/opis.html", medium_.path("linki/opis.html"));
  GtkWidget *tile = buildTile("[\"linki/obcy.html\", \"linki/obcy.pdf\", \"linki/opis.html\"]");
  sendButtonEvent(tile);
  for (GtkWidget *row : rowsOf(descriptionChooserWindow)) {
    testing::internal::CaptureStdout();
    sendButtonEvent(row);
    testing::internal::GetCapturedStdout();
  }
  ASSERT_EQ(warnings().size(), 2u);
  for (size_t i = 0; i < 2; ++i)
    EXPECT_NE(warningText(warnings()[i]).find("opisu badania nie istnieje"), std::string::npos);
  ASSERT_EQ(shellCalls().size(), 1u);
  EXPECT_EQ(readFile(shellCalls()[0].file), wrapperPageText(std::string("<p>opis</p>")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(tmpPath("/linki/obcy.html"))));
}

TEST_F(HostileReports, APdfReportThatIsAProgramIsNeverStarted) {
  registerPdfReader();
  GtkWidget *tile = buildTile("[\"wynik.pdf\", \"obraz.pdf\", \"opis.pdf\"]");
  medium_.writeFile("wynik.pdf", "#!/bin/sh\ntouch zrobione\n");
  medium_.writeFile("obraz.pdf", "\177ELF\x02\x01\x01");
  medium_.writeFile("opis.pdf", "%PDF-1.4\n");  // a document, marked executable as on FAT media
  for (const char *name : {"wynik.pdf", "obraz.pdf", "opis.pdf"}) ::chmod(medium_.path(name).c_str(), 0755);
  sendButtonEvent(tile);
  std::vector<GtkWidget *> rows = rowsOf(descriptionChooserWindow);
  ASSERT_EQ(rows.size(), 3u);
  for (GtkWidget *row : rows) {
    testing::internal::CaptureStdout();
    sendButtonEvent(row);
    testing::internal::GetCapturedStdout();
  }
  ASSERT_EQ(shellCalls().size(), 1u);
  EXPECT_EQ(shellCalls()[0].file, "opis.pdf");
  ASSERT_EQ(warnings().size(), 2u);
  EXPECT_EQ(
      warningText(warnings()[0]).rfind("Otwarcie opisu badania z pliku \"wynik.pdf\" nie powiddło się.", 0),
      0u);
}

}  // namespace
