// Directory listings sorted by name in byte order.
#include "catalogue/directory_listing.h"

#include "platform/directories.h"
#include "support/scoped_medium.h"

#include <gtest/gtest.h>

namespace fs = boost::filesystem;

namespace {

TEST(DirectoryListing, SortsByNameBytesAndToleratesMissingFolders) {
  testsupport::ScopedMedium medium;
  for (const char *name : {"c", "B", "a10", "a2", "Ź", "_x"}) medium.writeFile(std::string("d/") + name, "");
  medium.makeDirectory("d/a1");
  std::vector<std::string> names;
  for (const auto &entry : sortedDirectoryEntries(medium.path("d")))
    names.push_back(entry.filename().string());
  EXPECT_EQ(names, (std::vector<std::string>{"B", "_x", "a1", "a10", "a2", "c", "Ź"}));
  EXPECT_TRUE(sortedDirectoryEntries(medium.path("missing")).empty());
  EXPECT_TRUE(sortedDirectoryEntries(medium.path("d/c")).empty());
}

TEST(DirectoryListing, ListsLongFoldersWholeWithTheirEntryTypes) {
  testsupport::ScopedMedium medium;
  // 500 long names need several reads of the kernel's records.
  const std::string padding(60, 'x');
  for (int i = 499; i >= 0; --i) medium.writeFile("long/" + std::to_string(1000 + i) + padding, "");
  medium.makeDirectory("long/9dir");
  std::vector<fs::path> entries = sortedDirectoryEntries(medium.path("long"));
  ASSERT_EQ(entries.size(), 501u);
  EXPECT_EQ(entries.front().filename().string(), "1000" + padding);
  EXPECT_EQ(entries[499].filename().string(), "1499" + padding);
  EXPECT_EQ(entries.back(), fs::path(medium.path("long")) / "9dir");

  platform::DirectoryHandle handle = platform::openDirectory("long");
  ASSERT_TRUE(handle);
  std::vector<platform::ListedEntry> listed = platform::sortedListing(handle);
  ASSERT_EQ(listed.size(), 501u);
  EXPECT_EQ(listed.back().type, platform::EntryType::directory);
  EXPECT_EQ(listed.front().type, platform::EntryType::regularFile);
  EXPECT_FALSE(platform::openDirectory("long/1000xx"));
}

}  // namespace
