// Directory listings of the medium, sorted by name in byte order, so that the
// REFIMG and DICOM trees pair the same way on every file system.
#pragma once

#include <boost/filesystem.hpp>

#include <vector>

// The entries of `directory` ("." and ".." never among them), sorted by file
// name byte by byte. Empty when the directory cannot be listed.
std::vector<boost::filesystem::path> sortedDirectoryEntries(const boost::filesystem::path &directory);
