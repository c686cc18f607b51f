// The walks of the medium's DICOM tree (and the picture count of REFIMG) that
// fill the catalogue's file index. Main thread only.
#pragma once

#include "catalogue/reference_catalogue.h"

#include <boost/filesystem.hpp>

#include <string>
#include <vector>

// Regular files below `path`, links followed: 0 for a missing path, 1 for a
// path that is not a directory. No directory is counted twice in one call, so
// a link back to an ancestor cannot loop.
int countRegularFiles(const boost::filesystem::path &path);

// Zero or one relative path: the first regular file of `seriesDirectory` in
// name order, written as its absolute directory + "/" + file name and kept
// from the first "DICOM" on. Files whose path holds no "DICOM" are passed over.
std::vector<std::string> firstDicomFile(const boost::filesystem::path &seriesDirectory);

// Up to `most` regular files of the series directory that holds `firstFile`
// (a path as firstDicomFile gives it), those named after it in name order, as
// paths of the same form.
std::vector<std::string> laterDicomFiles(const std::string &firstFile, size_t most);

// Series ordinal (counting subdirectories only, in name order) -> the
// firstDicomFile of that series directory.
DicomSeriesFiles scanDicomStudy(const boost::filesystem::path &studyDirectory);

// Study ordinal -> scanDicomStudy of that study directory. Empty when
// `dicomRoot` is missing or not a directory.
DicomFileMap scanDicomTree(const boost::filesystem::path &dicomRoot);
