// Loading a series folder of REFIMG into thumbnails under its series branch,
// with progress on the main window. Main thread only.
#pragma once

#include "catalogue/picture_decoder.h"
#include "tree/branch_tree.h"

#include <gtk/gtk.h>
#include <boost/filesystem.hpp>

#include <string>
#include <vector>

// The file's path from the medium's "REFIMG" on, written as its folder, "/"
// and its name (see pathFromMediumFolder). Throws std::out_of_range when the
// path holds no "REFIMG".
std::string relativePicturePath(const boost::filesystem::path &file, const std::string &mediumRoot);

// Pictures whose relative path holds "small" anywhere are not shown.
bool isSmallPicture(const std::string &relativePath);

// Every picture of `seriesDir` as a thumbnail under the series branch
// (studyIndex, seriesIndex) of the tree, in directory order. A file without a
// picture signature and an entry that cannot be examined or read (the medium
// still sound) are passed over with a line on the trace and standard error. A
// picture that cannot be decoded stands in the series as a placeholder (see
// makePlaceholderBranch). Empty, with mediumReadable lowered, when the medium
// fails or when the build must end (see loadMustEnd).
std::vector<GtkWidget *> loadSeriesImages(BranchTree &tree, int studyIndex, int seriesIndex,
                                          const boost::filesystem::path &seriesDir);

// The same for a series folder listed already, its entries in `entries`.
std::vector<GtkWidget *> loadListedSeries(BranchTree &tree, int studyIndex, int seriesIndex,
                                          const std::vector<boost::filesystem::path> &entries);

// A picture branch at `level` showing the picture at `path` scaled to
// width x height. The picture is decoded straight at about that size; the
// image carries as "orig-pixbuf" where its full picture comes from (see
// browser/full_pictures.h); its pixels are kept within the thumbnails' budget
// (see browser/thumbnail_pixels.h). Null when the picture cannot be decoded, is not a
// JPEG or PNG picture, or declares a size beyond the decoder's limits.
GtkWidget *makeImageBranch(int level, int width, int height, const std::string &path);
// The same with the picture already decoded (at about width x height).
GtkWidget *makeImageBranch(int level, int width, int height, const std::string &path, DecodedPicture decoded);

// A picture branch at `level` for the picture at `path` that cannot be
// decoded: the unreadable picture's placeholder, with "orig_pixbuf = 0" and
// "nie można odczytać obrazu: <why>" on the trace, the latter on standard
// error too. Its full picture is the placeholder.
GtkWidget *makePlaceholderBranch(int level, const std::string &path, const std::string &why);
