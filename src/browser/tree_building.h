// Building the browser's tree of studies and series from REFIMG, labelled from
// the attribute records at the same positions. Main thread only.
#pragma once

#include "browser/thumbnail_index.h"
#include "catalogue/reference_catalogue.h"
#include "tree/branch_tree.h"

#include <boost/filesystem.hpp>

#include <string>

// "modality [study description]", valid UTF-8, at most 257 bytes.
std::string studyLabel(const StudyMetadata &record);

// The series description, or "Seria N" (N = seriesIndex + 1) when it is empty;
// valid UTF-8, at most 127 bytes.
std::string seriesLabel(const StudyMetadata &record, int seriesIndex);

// One study branch per study folder of `refimgRoot` that has a record, with its
// series and thumbnails. Empty when a thumbnail cannot be read.
ThumbnailMap buildStudyBranches(BranchTree &tree, const boost::filesystem::path &refimgRoot);

// One series branch per series folder of `studyDir` that has a record, under
// the study branch at `studyIndex`, with its thumbnails.
SeriesThumbnails buildSeriesBranches(BranchTree &tree, int studyIndex,
                                     const boost::filesystem::path &studyDir);
