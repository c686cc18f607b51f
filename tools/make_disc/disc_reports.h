// The disc's reports: HTML and PDF files given by the clinic, PDF documents
// encapsulated in the export, structured reports rendered to HTML, and the
// description list that names them.
#pragma once

#include <string>
#include <vector>

namespace makedisc {

// The bytes of `utf8` in Windows-1250, the character set of the navigator's
// report page. False, with the first character it cannot hold (its code point
// and line) in `error`, when there is one.
bool toWindows1250(const std::string &utf8, std::string *out, std::string *error);

// As toWindows1250, but a character Windows-1250 cannot hold becomes an HTML
// character reference. Only for text whose markup we made ourselves.
std::string toWindows1250WithReferences(const std::string &utf8);

// The content of an HTML document's body (the whole text when it has none),
// in UTF-8: from the charset it declares, else UTF-8 when it is valid UTF-8,
// else Windows-1250.
std::string htmlBodyAsUtf8(const std::string &bytes);

// A structured report rendered by DCMTK's SR module, as an HTML fragment in
// UTF-8. False with the reason in `error` when it cannot be read or rendered.
bool renderStructuredReport(const std::string &path, std::string *html, std::string *error);

// Whether a SOP class is one of the text structured reports the disc renders
// (Basic, Enhanced and Comprehensive Text SR).
bool isTextReport(const std::string &sopClassUid);

// The PDF document of an Encapsulated PDF object.
bool extractEncapsulatedPdf(const std::string &path, std::string *pdf, std::string *error);

// descrlist.js naming `names` (relative to the disc root) in order.
std::string descriptionListText(const std::vector<std::string> &names);

// A report file name the navigator lists: no double quote or path separator,
// valid UTF-8, the suffix in lower case. `taken` names already used; a
// repeated name gets "_2", "_3"... before its suffix. Adds the result to `taken`.
std::string reportName(const std::string &wanted, std::vector<std::string> *taken);

}  // namespace makedisc
