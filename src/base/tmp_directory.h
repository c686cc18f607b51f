// The per-run private working directory: copies of the list file and the
// picture folders, and the wrapper pages of HTML reports.
#pragma once

#include <string>

// Full path of the working directory, without a final separator. Set once by
// createTmpDirectory and never changed; empty when no directory of this run's
// own could be made.
extern std::string tmpDirectory;

// True once this run has created its working directory; nothing may be
// written under tmpDirectory otherwise.
bool tmpDirectoryUsable();

// tmpDirectory followed by `suffix`, which begins with a separator ("/img/icon.ico").
// Without a working directory: the picture folders' files ("/img/...",
// "/images/...") on the medium itself, and an empty path for anything else.
std::string tmpPath(const std::string &suffix);

// Where working directories are made: the desktop's private runtime folder
// ($XDG_RUNTIME_DIR) when it has a safe one, else the temporary folder.
std::string workingDirectoryBase();

// Removes the directories that earlier runs of this user left behind when they
// ended without cleaning up, then creates this run's directory, private to the
// user and never one that existed before, marks it as in use for as long as
// the process lives, and copies "descrlist.js" and the first level of "img"
// and "images" from the current directory into it (files above 64 MiB and
// anything past 512 MiB or 5 s in all are passed over and traced). When no
// directory can be made, the trace says why and nothing is copied.
void createTmpDirectory();

// Copies the files directly inside the relative directory `name` into the
// working directory's folder of the same name.
void copyDirectoryToTmp(const std::string &name);

// Removes the working directory and all below it, only if this run created it.
void removeTmpDirectory();

// Where the program's own picture `suffix` ("/img/icon.ico") is read from: the
// working directory's copy, or the medium's file when there is no copy (the
// working directory could not be made or the copy was passed over).
std::string picturePath(const std::string &suffix);
