// The per-user registry emulation and the desktop's stand-in for the PDF
// reader's key.
#include "platform/posix/registry_emulation.h"

#include "support/child_run.h"
#include "support/desktop_environment.h"
#include "support/scratch_folder.h"
#include "support/standin_programs.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = boost::filesystem;
using platform::RegistryRoot;

const char netFrameworkKey[] = "SOFTWARE\\Microsoft\\.NETFramework\\v2.0.50727";

// Points XDG_CONFIG_HOME and HOME at a fresh folder for one test, restoring both.
class RegistryTest : public testing::Test {
 protected:
  std::string registryFolder() const { return scratch_.path("config/velmora-brelantor/registry"); }

  testsupport::ScratchFolder scratch_;

 private:
  testsupport::ScopedEnvironmentVariable config_{"XDG_CONFIG_HOME", scratch_.path("config")};
  testsupport::ScopedEnvironmentVariable home_{"HOME", scratch_.path("home")};
};

TEST_F(RegistryTest, KeyDirectoryFollowsTheConfigurationFolderAtEveryCall) {
  EXPECT_EQ(platform::registryKeyDirectory(RegistryRoot::LocalMachine, netFrameworkKey),
            registryFolder() + "/HKEY_LOCAL_MACHINE/SOFTWARE/Microsoft/.NETFramework/v2.0.50727");
  EXPECT_EQ(platform::registryKeyDirectory(RegistryRoot::CurrentUser, "SOFTWARE"),
            registryFolder() + "/HKEY_CURRENT_USER/SOFTWARE");

  // Unset or relative: the default under the home folder.
  for (const char *configHome : {static_cast<const char *>(nullptr), "", "relative/config"}) {
    if (configHome == nullptr)
      g_unsetenv("XDG_CONFIG_HOME");
    else
      g_setenv("XDG_CONFIG_HOME", configHome, TRUE);
    EXPECT_EQ(platform::registryKeyDirectory(RegistryRoot::CurrentUser, "A\\B"),
              scratch_.path("home/.config/velmora-brelantor/registry/HKEY_CURRENT_USER/A/B"));
  }
}

TEST_F(RegistryTest, KeyExistsExactlyWhenItsDirectoryDoes) {
  EXPECT_FALSE(platform::registryKeyExists(RegistryRoot::LocalMachine, netFrameworkKey));
  fs::create_directories(platform::registryKeyDirectory(RegistryRoot::LocalMachine, netFrameworkKey));
  fs::create_directories(registryFolder() + "/HKEY_CURRENT_USER/SOFTWARE/File");
  std::ofstream(registryFolder() + "/HKEY_CURRENT_USER/SOFTWARE/File/NotAKey") << "x";

  struct Case {
    RegistryRoot root;
    std::string key;
    bool exists;
  };
  const std::vector<Case> cases = {
      {RegistryRoot::LocalMachine, netFrameworkKey, true},
      {RegistryRoot::LocalMachine, "SOFTWARE\\Microsoft", true},
      // Registry names ignore case.
      {RegistryRoot::LocalMachine, "software\\MICROSOFT\\.netframework\\V2.0.50727", true},
      {RegistryRoot::CurrentUser, netFrameworkKey, false},
      {RegistryRoot::LocalMachine, "SOFTWARE\\Microsoft\\.NETFramework\\v4.0.30319", false},
      {RegistryRoot::LocalMachine, "SOFTWARE\\Microsoft\\.NETFramework\\v2.0.5072", false},
      {RegistryRoot::CurrentUser, "SOFTWARE\\File\\NotAKey", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(platform::registryKeyExists(c.root, c.key), c.exists);
  }
}

TEST_F(RegistryTest, KeyPathsThatCouldLeaveTheRegistryFolderAreRejected) {
  // Folders that a traversal would reach, so only the rejection keeps them out.
  fs::create_directories(scratch_.path("config/velmora-brelantor/outside"));
  fs::create_directories(registryFolder() + "/HKEY_CURRENT_USER/SOFTWARE");
  fs::create_directories(registryFolder() + "/HKEY_LOCAL_MACHINE/SOFTWARE");
  const std::vector<std::string> keys = {
      "..\\..\\outside",
      "SOFTWARE\\..\\..\\..\\outside",
      "SOFTWARE\\..",
      "..\\HKEY_LOCAL_MACHINE\\SOFTWARE",
      "SOFTWARE/../../../outside",
      ".",
      "SOFTWARE\\.",
      "",
      "\\SOFTWARE",
      "SOFTWARE\\",
      "SOFTWARE\\\\Microsoft",
      std::string("SOFTWARE\0x", 10),
  };
  for (const std::string &key : keys) {
    SCOPED_TRACE(key);
    EXPECT_EQ(platform::registryKeyDirectory(RegistryRoot::CurrentUser, key), "");
    EXPECT_FALSE(platform::registryKeyExists(RegistryRoot::CurrentUser, key));
  }
  EXPECT_TRUE(platform::registryKeyExists(RegistryRoot::CurrentUser, "SOFTWARE"));
}

// The PDF reader's key also exists through the desktop's default application
// for PDF documents. GIO reads the desktop once per process, so each desktop
// is checked in a child process of its own.
TEST(RegistryDesktopTest, PdfReaderKeyFollowsTheDesktopsPdfApplication) {
  const std::string testName = "RegistryDesktopTest.PdfReaderKeyFollowsTheDesktopsPdfApplication";
  const std::string role = testsupport::childRunRole();
  if (!role.empty()) {
    bool expected = role == "with-reader";
    EXPECT_EQ(platform::registryKeyExists(RegistryRoot::CurrentUser, "SOFTWARE\\Adobe\\Acrobat Reader"),
              expected);
    EXPECT_EQ(platform::registryKeyExists(RegistryRoot::CurrentUser, "software\\adobe\\acrobat reader"),
              expected);
    // Only that key, and only for the current user.
    EXPECT_FALSE(platform::registryKeyExists(RegistryRoot::LocalMachine, "SOFTWARE\\Adobe\\Acrobat Reader"));
    EXPECT_FALSE(platform::registryKeyExists(RegistryRoot::CurrentUser, "SOFTWARE\\Adobe"));
    EXPECT_FALSE(
        platform::registryKeyExists(RegistryRoot::CurrentUser, "SOFTWARE\\Adobe\\Acrobat Reader\\DC"));
    return;
  }

  struct Case {
    std::string role;
    std::vector<std::string> handledTypes;
  };
  const std::vector<Case> cases = {
      {"with-reader", {"application/pdf"}},
      {"without-reader", {"text/html"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.role);
    testsupport::DesktopEnvironment desktop;
    desktop.addDefaultHandler("viewer", "true %f", c.handledTypes);
    testsupport::ChildResult child = testsupport::runTestInChild(testName, c.role, desktop.variables());
    EXPECT_EQ(child.exitStatus, 0) << child.output;
    EXPECT_NE(child.output.find("[  PASSED  ] 1 test"), std::string::npos) << child.output;
  }
}

}  // namespace
