// The description list file "descrlist.js": the reports it names.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

// One report's file name relative to the medium root, copied byte for byte
// from the list file; it ends in ".html", ".htm" or ".pdf".
using DescriptionEntry = std::string;
using DescriptionList = std::vector<DescriptionEntry>;

// The reports named by the list file, in file order, duplicates kept. Filled
// once at start-up by buildDescriptionsTile; the tile's press handler gets its
// address, so it lives until the process ends.
extern DescriptionList descriptionList;

enum class DescriptionKind { Html, Pdf, Other };

// What the final bytes of `name` make of it: ".html" or ".htm" an HTML report,
// ".pdf" a PDF report (exact, case-sensitive).
DescriptionKind descriptionKind(const std::string &name);

// False for a name that leads off the medium: an absolute path (a leading
// separator or a drive letter) or one with a ".." component, either separator
// counting. Such a name is treated as a report that does not exist.
bool entryStaysOnMedium(const std::string &entry);

// The entry as a file path on this system: a list written on Windows may
// separate folders with backslashes, and no Windows file name holds one.
std::string entryFilePath(const DescriptionEntry &entry);

// The entries of a list file's content: the content up to its first NUL is cut
// at every double quote, and every piece that ends in one of the suffixes is an
// entry. No escapes, no trimming, nothing else is looked at.
DescriptionList parseDescriptionList(const std::string &content);
