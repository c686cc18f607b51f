// The wrapper page of an HTML report.
#include "descriptions/wrapper_page.h"

#include "base/tmp_directory.h"
#include "platform/directories.h"
#include "platform/glib_owners.h"
#include "platform/platform.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <cerrno>
#include <memory>

const char *const makerWebAddress = "https://www.velmora.pl/";

namespace {

// Every line but the first begins with three tabs.
std::string joinLines(const std::string &firstLine, std::initializer_list<const char *> otherLines) {
  std::string text = firstLine;
  for (const char *line : otherLines) text += std::string("\n\t\t\t") + line;
  return text;
}

std::string buildHead() {
  return joinLines(
      "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
      "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">",
      {
          "<html xmlns=\"http://www.w3.org/1999/xhtml\" style=\"height:100%\">",
          "<head>",
          "<style>",
          "* {margin:0;padding:0;}",
          "html, body {min-height: 100%; width:100%;}",
          "#wrap { position:absolute; top:0px; left:0px; min-height:100%; height:100%;  width:100%;}",
          "#footer { position:fixed; bottom: 0px; width:100%; height:18px; }",
          "#main_header { position:fixed; top: 0px; width:100%; height:88px;}",
          ".top_table { width: 100%; height: 88px; background-image: url(\"img/head_bg.jpg\"); "
          "background-repeat: repeat-x;  }",
          ".left_cien { background-color:#DEE0E0; background-image:url(img/cien_left.jpg); "
          "background-repeat:repeat-y; background-position:right; min-height: 100%; }",
          ".right_cien { background-color:#DEE0E0; background-image:url(img/cien_right.jpg); "
          "background-repeat:repeat-y; background-position:left; min-height: 100%; }",
          ".maintabel { width: 210mm; min-height: 100%; vertical-align: top; padding: 10px 10px 10px 10px; }",
          ".btm_table { width: 100%; height: 18px; background-image:url(img/btm_bg.jpg); "
          "background-repeat:repeat-x;}",
          ".desc {min-height:800px;}",
          "#descriptions { width:700px; margin:0 auto;}",
          "</style>",
          "",
          "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Windows-1250\" />",
          "<title>Opis badania</title>",
          "</head>",
          "",
          "<body>",
          "<div id=\"wrap\">",
          "",
          "<div id=\"main_header\">",
          "<table class=\"top_table\" cellpadding=\"0\" cellspacing=\"0\">",
          "<tr>",
          "<td><img src=\"img/head_.jpg\" width=\"160\" height=\"88\" /></td>",
          "<td  ></td>",
          "<td><img src=\"img/head_right.jpg\" width=\"276\" height=\"88\" align=\"right\" />",
          "</tr>",
          "</table>",
          "</div>",
          "",
          "<table height=\"100%\" cellspacing=\"0\" cellpadding=\"0\" style=\"height: 100%;  width:100%; "
          "padding-top:88px; padding-bottom:18px;\">",
          "<tbody style=\"min-height:100%\">",
          "<tr style=\"min-height:100%\">",
          "<td class=\"left_cien\" style=\"min-height:100%;\"> </td>",
          "<td class=\"maintabel\" style=\"min-height:100%;\">",
          "<div id=\"descriptions\">",
          "<div class=\"desc\">",
      });
}

std::string buildTail() {
  std::string poweredBy =
      std::string("<a href=\"") + makerWebAddress +
      "\" target=\"_blank\"><img src=\"img/poweredby.jpg\" alt=\"wygenerowano z systemu "
      "velmora\" width=\"86\" height=\"18\" align=\"right\" style=\"margin-right: 10px;\" "
      "border=\"0\"/></a>";
  return joinLines(std::string(31, ' ') + "</div>",
                   {
                       "</div>",
                       "</td>",
                       "<td class=\"right_cien\" > </td>",
                       "</tr>",
                       "</tbody>",
                       "</table>",
                       "</div>",
                       "",
                       "<div id=\"footer\">",
                       "<table class=\"btm_table\" cellpadding=\"0\" cellspacing=\"0\">",
                       "<tr>",
                       "<td>",
                       "<img src=\"img/corn_left_btm.jpg\" border=\"0\" align=\"left\"/>",
                       "</td>",
                       "<td></td>",
                       "<td>",
                       poweredBy.c_str(),
                       "</td>",
                       "</tr>",
                       "</table>",
                       "</div>",
                       "</body>",
                       "</html>",
                   });
}

// Larger reports are not read: the page holds the whole report in memory.
constexpr size_t kLargestReport = 64 * 1024 * 1024;

std::optional<std::string> readReport(const DescriptionEntry &entry) {
  // Only a regular file is read, so a pipe or a device named as a report can
  // neither block the program nor flood it.
  std::string content;
  std::string error;
  if (!platform::readRegularFile(entry, kLargestReport, content, &error)) {
    g_printerr("%s\n", error.c_str());
    return std::nullopt;
  }
  return content;
}

}  // namespace

const std::string &wrapperPageHead() {
  static const std::string head = buildHead();
  return head;
}

const std::string &wrapperPageTail() {
  static const std::string tail = buildTail();
  return tail;
}

std::string wrapperPageText(const std::optional<std::string> &report) {
  if (!report) return wrapperPageHead();
  return wrapperPageHead() + report->substr(0, report->find('\0')) + wrapperPageTail();
}

std::string wrapperPagePath(const DescriptionEntry &entry) { return tmpPath("/" + entry); }

namespace {

// Copies the working directory's design pictures into the new folder `copy`;
// false when the folder cannot be made.
bool copyPageDesignPictures(const std::string &copy) {
  if (g_mkdir(copy.c_str(), 0700) != 0) return false;
  platform::DirectoryHandle pictures = platform::openDirectory(tmpPath("/img"));
  if (!pictures) return true;
  for (const platform::ListedEntry &entry : platform::sortedListing(pictures))
    if (entry.type == platform::EntryType::regularFile)
      platform::copyFileNoOverwrite(tmpPath("/img/" + entry.name), copy + "/" + entry.name);
  return true;
}

// The page design names its pictures relative to the page ("img/head_.jpg"):
// a page in a subfolder reaches the working directory's copies through a link,
// or through copies of them where the system makes no link (wine, a Windows
// volume without links).
void linkPageDesignPictures(const std::string &folder) {
  if (folder == tmpDirectory) return;
  std::string link = folder + "/img";
  if (g_file_test(link.c_str(), G_FILE_TEST_EXISTS)) return;
  int error = platform::linkToDirectory(tmpPath("/img"), link);
  if (error != 0 && !copyPageDesignPictures(link))
    g_printerr("%s: %s\n", link.c_str(), platform::errorText(error).c_str());
}

}  // namespace

bool writeWrapperPage(const DescriptionEntry &entry) {
  if (!tmpDirectoryUsable()) {
    g_printerr("Brak katalogu roboczego: strona opisu \"%s\" nie zostanie zapisana.\n", entry.c_str());
    return false;
  }
  if (!entryStaysOnMedium(entry)) return false;
  std::string text = wrapperPageText(readReport(entry));

  std::string pagePath = wrapperPagePath(entry);
  UniqueString folder(g_path_get_dirname(pagePath.c_str()));
  if (g_mkdir_with_parents(folder.get(), 0700) != 0) {
    g_printerr("%s: %s\n", folder.get(), g_strerror(errno));
    return false;
  }
  linkPageDesignPictures(folder.get());
  GError *rawError = nullptr;
  if (!g_file_set_contents(pagePath.c_str(), text.data(), static_cast<gssize>(text.size()), &rawError)) {
    UniqueError error(rawError);
    g_printerr("%s\n", error ? error->message : "");
    return false;
  }
  return true;
}
