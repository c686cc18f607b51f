// The wrapper page of an HTML report: a fixed page design around the report's
// bytes, written into the working directory for the web browser to open.
#pragma once

#include "descriptions/description_list.h"

#include <optional>
#include <string>

// The maker's web site, linked from the page's footer.
extern const char *const makerWebAddress;

// The page text before the report: 42 lines joined by LF, no final line break.
const std::string &wrapperPageHead();
// The page text after the report: 24 lines joined by LF, no final line break.
const std::string &wrapperPageTail();

// Head, the report's bytes up to its first NUL, tail, with nothing between
// them. Without a report (it could not be read) the page is the head alone.
std::string wrapperPageText(const std::optional<std::string> &report);

// Where the page of `entry` is written: the working directory followed by the
// entry's own relative path, so the page's relative pictures resolve against
// the copies of "img" and "images" there.
std::string wrapperPagePath(const DescriptionEntry &entry);

// Reads the report `entry` (relative to the medium root) and writes its page
// to wrapperPagePath, creating the entry's folders inside the working
// directory. Failures go to standard error; an unreadable report still gives
// the head-only page. Writes nothing when the working directory is not this
// run's own or the entry leaves the medium. True when the page was written.
bool writeWrapperPage(const DescriptionEntry &entry);
