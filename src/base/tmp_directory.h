// The per-run private working directory: copies of the list file and the
// picture folders, and the wrapper pages of HTML reports.
#pragma once

#include <string>

// Full path of the working directory, without a final separator. Set once by
// createTmpDirectory and never changed.
extern std::string tmpDirectory;

// True once this run has created its working directory; nothing may be
// written under tmpDirectory otherwise.
bool tmpDirectoryUsable();

// tmpDirectory followed by `suffix`, which begins with a separator ("/img/icon.ico").
std::string tmpPath(const std::string &suffix);

// Creates the directory, private to the user and never one that existed
// before, then copies "descrlist.js" and the first level of "img" and "images"
// from the current directory into it.
void createTmpDirectory();

// Copies the files directly inside the relative directory `name` into the
// working directory's folder of the same name.
void copyDirectoryToTmp(const std::string &name);

// Removes the working directory and all below it, only if this run created it.
void removeTmpDirectory();
