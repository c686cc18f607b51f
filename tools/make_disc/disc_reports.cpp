// Reports for the disc. Every function here may run on any thread.
#include "disc_reports.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmsr/dsrdoc.h>
#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>

namespace makedisc {

namespace {

using GString = std::unique_ptr<gchar, decltype(&g_free)>;

// Code point to byte for the upper half of Windows-1250.
const std::map<gunichar, char> &windows1250Table() {
  static const std::map<gunichar, char> table = [] {
    std::map<gunichar, char> made;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
      const char in = static_cast<char>(byte);
      gsize written = 0;
      GString utf8(g_convert(&in, 1, "UTF-8", "WINDOWS-1250", nullptr, &written, nullptr), g_free);
      if (utf8) made[g_utf8_get_char(utf8.get())] = in;  // five bytes are unassigned
    }
    return made;
  }();
  return table;
}

// Converts, calling `unheld` for each character Windows-1250 cannot hold;
// false when `unheld` refuses or the text is not UTF-8.
template <typename Unheld>
bool convertTo1250(const std::string &utf8, std::string *out, Unheld unheld) {
  const std::map<gunichar, char> &table = windows1250Table();
  out->clear();
  out->reserve(utf8.size());
  const char *at = utf8.data(), *end = at + utf8.size();
  int line = 1;
  while (at < end) {
    const gunichar c = g_utf8_get_char_validated(at, end - at);
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) return unheld(0, line);
    if (c < 0x80) {
      out->push_back(static_cast<char>(c));
      if (c == '\n') ++line;
    } else {
      auto found = table.find(c);
      if (found != table.end())
        out->push_back(found->second);
      else if (!unheld(c, line))
        return false;
    }
    at = g_utf8_next_char(at);
  }
  return true;
}

std::string lowered(const std::string &text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return g_ascii_tolower(c); });
  return lower;
}

std::string declaredCharset(const std::string &bytes) {
  const std::string head = lowered(bytes.substr(0, 4096));
  const size_t at = head.find("charset=");
  if (at == std::string::npos) return "";
  size_t start = at + 8;
  if (start < head.size() && (head[start] == '"' || head[start] == '\'')) ++start;
  size_t stop = start;
  while (stop < head.size() && (g_ascii_isalnum(head[stop]) || head[stop] == '-' || head[stop] == '_'))
    ++stop;
  return head.substr(start, stop - start);
}

}  // namespace

bool toWindows1250(const std::string &utf8, std::string *out, std::string *error) {
  return convertTo1250(utf8, out, [&](gunichar c, int line) {
    char code[32];
    if (c == 0)
      std::snprintf(code, sizeof code, "bytes that are not UTF-8");
    else
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    *error = std::string("line ") + std::to_string(line) + ": " + code +
             " cannot be written in Windows-1250, the character set of the report page";
    return false;
  });
}

std::string toWindows1250WithReferences(const std::string &utf8) {
  std::unique_ptr<gchar, decltype(&g_free)> valid(
      g_utf8_make_valid(utf8.data(), static_cast<gssize>(utf8.size())), g_free);
  std::string out;
  std::string *target = &out;
  convertTo1250(valid.get(), &out, [target](gunichar c, int) {
    *target += "&#" + std::to_string(c) + ";";
    return true;
  });
  return out;
}

std::string htmlBodyAsUtf8(const std::string &bytes) {
  std::string text = bytes;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  std::string charset = declaredCharset(text);
  if (charset.empty())
    charset =
        g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr) ? "utf-8" : "windows-1250";
  if (charset != "utf-8" && charset != "utf8") {
    gsize written = 0;
    GString converted(g_convert(text.data(), static_cast<gssize>(text.size()), "UTF-8", charset.c_str(),
                                nullptr, &written, nullptr),
                      g_free);
    if (converted) text.assign(converted.get(), written);
  }
  const std::string lower = lowered(text);
  const size_t body = lower.find("<body");
  const size_t open = body == std::string::npos ? std::string::npos : lower.find('>', body);
  if (open == std::string::npos) return text;
  const size_t close = lower.rfind("</body");
  return text.substr(open + 1, (close == std::string::npos || close < open ? text.size() : close) - open - 1);
}

bool isTextReport(const std::string &sopClassUid) {
  return sopClassUid == UID_BasicTextSRStorage || sopClassUid == UID_EnhancedSRStorage ||
         sopClassUid == UID_ComprehensiveSRStorage;
}

bool renderStructuredReport(const std::string &path, std::string *html, std::string *error) {
  DcmFileFormat format;
  OFCondition status = format.loadFile(path.c_str());
  // Values in UTF-8 whatever the report's character set; one DCMTK cannot
  // convert is rendered as stored and mended below.
  if (status.good()) format.convertToUTF8();
  DSRDocument document;
  if (status.good()) status = document.read(*format.getDataset());
  std::ostringstream rendered;
  if (status.good()) status = document.renderHTML(rendered, DSRTypes::HF_omitGeneratorMetaElement);
  if (status.bad()) {
    *error = status.text();
    return false;
  }
  const std::string body = htmlBodyAsUtf8(rendered.str());
  GString valid(g_utf8_make_valid(body.data(), static_cast<gssize>(body.size())), g_free);
  *html = valid.get();
  return true;
}

bool extractEncapsulatedPdf(const std::string &path, std::string *pdf, std::string *error) {
  DcmFileFormat format;
  OFCondition status = format.loadFile(path.c_str());
  const Uint8 *bytes = nullptr;
  unsigned long length = 0;
  if (status.good())
    status = format.getDataset()->findAndGetUint8Array(DCM_EncapsulatedDocument, bytes, &length);
  if (status.bad() || bytes == nullptr) {
    *error = status.bad() ? status.text() : "no document";
    return false;
  }
  // The value is padded to an even length; the declared length is the document's own.
  Uint32 declared = 0;
  if (format.getDataset()->findAndGetUint32(DCM_EncapsulatedDocumentLength, declared).good() &&
      declared > 0 && declared <= length)
    length = declared;
  else if (length > 0 && bytes[length - 1] == 0)
    --length;
  pdf->assign(reinterpret_cast<const char *>(bytes), length);
  if (pdf->compare(0, 5, "%PDF-") != 0) {
    *error = "the encapsulated document is not a PDF document";
    return false;
  }
  return true;
}

std::string descriptionListText(const std::vector<std::string> &names) {
  std::string list = "var descriptions = [";
  for (size_t i = 0; i < names.size(); ++i) list += (i == 0 ? "\"" : ", \"") + names[i] + "\"";
  return list + "];\n";
}

std::string reportName(const std::string &wanted, std::vector<std::string> *taken) {
  GString valid(g_utf8_make_valid(wanted.data(), static_cast<gssize>(wanted.size())), g_free);
  std::string name = valid.get();
  for (char &c : name)
    if (c == '"' || c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
  const size_t dot = name.rfind('.');
  std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string suffix = dot == std::string::npos ? "" : lowered(name.substr(dot));
  if (stem.empty() || stem[0] == '.') stem = "opis" + stem;
  std::string chosen = stem + suffix;
  for (int n = 2; std::any_of(taken->begin(), taken->end(),
                              [&](const std::string &used) { return lowered(used) == lowered(chosen); });
       ++n)
    chosen = stem + "_" + std::to_string(n) + suffix;
  taken->push_back(chosen);
  return chosen;
}

}  // namespace makedisc
