// Telling a failing medium from one entry that fails. A disc taken out or
// unreadable ends the whole browser build; a single folder or file that cannot
// be listed, examined or read (no permission, gone since it was listed) is
// passed over and the build goes on.
#pragma once

#include <string>

// Error codes that only a failing medium gives: I/O errors, no device, no medium.
bool isMediumError(int error);

// Whether the medium root (the current directory) and its "REFIMG" folder can
// still be listed.
bool mediumStillListable();

// Whether an entry that failed with `error` means the medium itself fails.
bool mediumFailsAfter(int error);

// "pominięty \"<path>\": <why>" on the trace and on standard error, for an
// entry that is passed over.
void reportSkippedEntry(const std::string &path, const std::string &why);
