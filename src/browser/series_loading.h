// Loading a series folder of REFIMG into thumbnails under its series branch,
// with progress on the main window. Main thread only.
#pragma once

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
// (studyIndex, seriesIndex) of the tree, in directory order. Empty, with
// mediumReadable lowered, when a picture cannot be read.
std::vector<GtkWidget *> loadSeriesImages(BranchTree &tree, int studyIndex, int seriesIndex,
                                          const boost::filesystem::path &seriesDir);

// The largest picture loaded: a side of 16384 pixels and 64 megapixels.
// Every full-size picture stays in memory, and a header can declare any size.
constexpr int kLargestPictureSide = 16384;
constexpr long long kLargestPicturePixels = 64LL * 1024 * 1024;
bool pictureSizeWithinLimits(int width, int height);

// A picture branch at `level` showing the picture at `path` scaled to
// width x height, the full-size picture kept on the image as "orig-pixbuf".
// Null when the picture cannot be loaded or its header declares a size
// beyond the limits above.
GtkWidget *makeImageBranch(int level, int width, int height, const std::string &path);
