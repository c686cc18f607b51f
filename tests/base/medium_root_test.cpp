// The medium root from the command line and the program's path.
#include "base/medium_root.h"

#include <gtest/gtest.h>

namespace {

struct RootCase {
  std::vector<std::string> arguments;
  std::string expected;
};

TEST(MediumRoot, FollowsTheCommandLineRules) {
  const std::string cwd = "/home/user/disc";
  const RootCase cases[] = {
      {{"D:\\gtk\\bin\\nav.exe"}, "D:\\"},
      {{"D:\\x\\gtk\\bin\\gtk\\nav.exe"}, "D:\\x\\gtk\\bin\\"},
      {{"nav.exe", "E:\""}, "E:\\"},
      {{"nav.exe", "E:\\data"}, "E:\\data\\"},
      {{"nav.exe", "E:/data/"}, "E:/data/"},
      {{"/media/cdrom/gtk/bin/velmora-brelantor"}, "/media/cdrom/"},
      {{"/media/cdrom/gtk/bin/velmora-brelantor", "/media/cd rom"}, "/media/cd rom/"},
      {{"/opt/x/gtk/bin/velmora-brelantor", "/media/cdrom\""}, "/media/cdrom/"},
      {{"/gtk/bin/velmora-brelantor"}, "/"},
      // No root can be derived: the current directory is the root.
      {{"/usr/local/bin/velmora-brelantor"}, cwd + "/"},
      {{"/usr/local/bin/velmora-brelantor", ""}, cwd + "/"},
      {{"/usr/local/bin/velmora-brelantor", "\""}, cwd + "/"},
      {{}, cwd + "/"},
  };
  for (const RootCase &c : cases) {
    std::string shown;
    for (const std::string &a : c.arguments) shown += "[" + a + "]";
    EXPECT_EQ(mediumRootFromArguments(c.arguments, cwd), c.expected) << shown;
  }
}

TEST(MediumRoot, RootFromProgramPathTakesTheLastGtk) {
  EXPECT_EQ(rootFromProgramPath("D:\\gtk\\bin\\nav.exe"), "D:\\");
  EXPECT_EQ(rootFromProgramPath("/a/gtk/b/gtk/nav"), "/a/gtk/b/");
  EXPECT_EQ(rootFromProgramPath("C:\\a/gtk\\bin\\gtk/nav"), "C:\\a/gtk\\bin\\");
  EXPECT_EQ(rootFromProgramPath("/usr/bin/nav"), "");
  EXPECT_EQ(rootFromProgramPath("D:\\gtk\\bin\\nav.exe").size(), 3u);
}

}  // namespace
