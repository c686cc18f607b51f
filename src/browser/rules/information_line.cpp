// Text of the browser's information line and its tooltip.
#include "browser/rules/information_line.h"

#include "base/text.h"

#include <glib.h>

namespace {

std::string escaped(const std::string &value) {
  std::string valid = makeValidUtf8(value);
  gchar *text = g_markup_escape_text(valid.c_str(), static_cast<gssize>(valid.size()));
  std::string result(text);
  g_free(text);
  return result;
}

}  // namespace

StudyMetadata recordForDisplay(StudyMetadata record) {
  if (record.studyDescription.empty()) record.studyDescription = "brak";
  return record;
}

std::string informationLineMarkup(const StudyMetadata &displayed) {
  return "<span foreground=\"#FFF\">PACJENT: </span><span foreground=\"#AAA\">" +
         escaped(shortenTo16Bytes(displayed.patientName)) +
         "</span><span foreground=\"#FFF\">, PESEL: </span><span foreground=\"#AAA\">" +
         escaped(displayed.patientId) +
         "</span><span foreground=\"#FFF\">, MODALNOŚĆ: </span><span foreground=\"#AAA\">" +
         escaped(displayed.modality) +
         "</span><span foreground=\"#FFF\">, OPIS BADANIA: </span><span foreground=\"#AAA\">" +
         escaped(shortenTo16Bytes(displayed.studyDescription)) +
         "</span><span foreground=\"#FFF\">, OPIS SERII: </span><span foreground=\"#AAA\">" +
         escaped(shortenTo16Bytes(displayed.seriesDescription)) + "</span>";
}

std::string unreadablePictureNoteMarkup() {
  return std::string("\n<span foreground=\"#F66\">") + kUnreadablePictureNote + "</span>";
}
