// Directory listings of the medium, sorted by name in byte order, so that the
// REFIMG and DICOM trees pair the same way on every file system. The walks
// that examine entries relative to an open directory use platform/directories.h.
#pragma once

#include <boost/filesystem.hpp>

#include <string>
#include <vector>

// The entries of `directory` ("." and ".." never among them), sorted by file
// name byte by byte. Empty when the directory cannot be listed.
std::vector<boost::filesystem::path> sortedDirectoryEntries(const boost::filesystem::path &directory);

// The same listing into `entries`; false (and no entries) when the directory
// cannot be opened for listing or its reading fails; `error` (when given)
// receives the error code of the failure, or 0.
bool listSortedDirectory(const boost::filesystem::path &directory,
                         std::vector<boost::filesystem::path> &entries, int *error = nullptr);
