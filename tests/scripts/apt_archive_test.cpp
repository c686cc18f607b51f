// scripts/apt-archive.sh takes the archive from apt's own configuration only: a stanza for another suite, a
// disabled one and a source-only entry give none, and the script fails saying so. (The baseline root's test
// makes its root from what the script prints for this machine.)
#include "support/scratch_folder.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <fstream>

TEST(AptArchive, WithoutOneInAptsConfigurationFailsSayingSo) {
  testsupport::ScratchFolder etc;
  std::ofstream(etc.path("a.sources"))
      << "Types: deb\nURIs: http://a.invalid/d\nSuites: bookworm-security\nComponents: main\n\n"
      << "Types: deb\nURIs: http://b.invalid/d\nSuites: bookworm\nComponents: main\nEnabled: no\n";
  std::ofstream(etc.path("b.list")) << "deb-src http://c.invalid/debian bookworm main\n";
  std::ofstream(etc.path("apt.conf"))
      << "Dir::Etc::SourceList \"-\";\nDir::Etc::SourceParts \"" << etc.root() << "\";\n";
  std::string command =
      "APT_CONFIG=" + etc.path("apt.conf") + " " VELMORA_TEST_DATA_DIR "/../scripts/apt-archive.sh bookworm";
  gchar *out = nullptr, *err = nullptr;
  gint status = 0;
  ASSERT_TRUE(g_spawn_command_line_sync(("env " + command).c_str(), &out, &err, &status, nullptr));
  EXPECT_FALSE(g_spawn_check_wait_status(status, nullptr));
  EXPECT_STREQ(out, "");
  EXPECT_NE(std::string(err).find("apt has no package archive for \"bookworm\""), std::string::npos) << err;
  g_free(out), g_free(err);
}
