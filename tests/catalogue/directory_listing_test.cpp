// Directory listings sorted by name in byte order.
#include "catalogue/directory_listing.h"

#include "support/scoped_medium.h"

#include <gtest/gtest.h>

namespace {

TEST(DirectoryListing, SortsByNameBytesAndToleratesMissingFolders) {
  testsupport::ScopedMedium medium;
  for (const char *name : {"b", "B", "a10", "a2", "Ź", "_x"}) medium.writeFile(std::string("d/") + name, "");
  medium.makeDirectory("d/a1");
  std::vector<std::string> names;
  for (const auto &entry : sortedDirectoryEntries(medium.path("d")))
    names.push_back(entry.filename().string());
  EXPECT_EQ(names, (std::vector<std::string>{"B", "_x", "a1", "a10", "a2", "b", "Ź"}));
  EXPECT_TRUE(sortedDirectoryEntries(medium.path("missing")).empty());
  EXPECT_TRUE(sortedDirectoryEntries(medium.path("d/b")).empty());
}

}  // namespace
