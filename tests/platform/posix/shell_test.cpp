// Shell open and execute: programs started directly with their parameters and
// working directory, documents and addresses handed to the desktop's default
// application, and the failures the caller sees.
#include "platform/platform.h"

#include "platform/glib_owners.h"

#include "support/child_run.h"
#include "support/desktop_environment.h"
#include "support/gui.h"
#include "support/scoped_medium.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testsupport::readFile;
using testsupport::ScopedMedium;

// Records what it saw (its parent, its directory, each argument in brackets)
// in seen.txt of its working directory, renamed into place when complete.
const char recordingProgram[] =
    "#!/bin/sh\n"
    "{ echo \"$PPID\"; pwd; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; } > .seen.tmp && mv .seen.tmp "
    "seen.txt\n";

void writeExecutable(const ScopedMedium &medium, const std::string &relative, const std::string &content) {
  medium.writeFile(relative, content);
  ASSERT_EQ(chmod(medium.path(relative).c_str(), 0755), 0);
}

std::vector<std::string> lines(const std::string &text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// What the recording program saw after its parent line: directory, then arguments.
std::vector<std::string> seenAfterParent(const std::string &directory) {
  std::vector<std::string> seen = lines(readFile(directory + "/seen.txt"));
  if (!seen.empty()) seen.erase(seen.begin());
  return seen;
}

TEST(ShellExecuteTest, StartsProgramsWithSplitParametersInTheirWorkingDirectory) {
  ScopedMedium medium;
  writeExecutable(medium, "Program/tool.sh", recordingProgram);
  writeExecutable(medium, "with spaces/my \"odd\" tool's.sh", recordingProgram);
  medium.makeDirectory("work");
  std::string work = medium.path("work");

  struct Case {
    std::string file;
    std::string parameters;
    std::string workingDirectory;  // where seen.txt is written
    std::vector<std::string> expectedArguments;
  };
  const std::vector<Case> cases = {
      {medium.path("Program/tool.sh"),
       "one \"two words\" 'three'\\''s' four\\ five",
       work,
       {"[one]", "[two words]", "[three's]", "[four five]"}},
      {medium.path("Program/tool.sh"), "", work, {}},
      {medium.path("Program/tool.sh"), "  \t ", work, {}},
      // A relative program path is taken from the working directory.
      {"tool.sh", "/Q", medium.path("Program"), {"[/Q]"}},
      {"with spaces/my \"odd\" tool's.sh",
       "\"" + medium.path("a file's \\\"name\\\".dcm") + "\" $HOME `id`",
       medium.root(),
       {"[" + medium.path("a file's \"name\".dcm") + "]", "[$HOME]", "[`id`]"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file + " " + c.parameters);
    boost::filesystem::remove(c.workingDirectory + "/seen.txt");
    platform::ProcessHandle process = 0;
    ASSERT_TRUE(platform::shellExecute(c.file, c.parameters, c.workingDirectory, process));
    ASSERT_GT(process, 0);
    platform::waitForProcess(process);
    std::vector<std::string> expected = {c.workingDirectory};
    expected.insert(expected.end(), c.expectedArguments.begin(), c.expectedArguments.end());
    EXPECT_EQ(seenAfterParent(c.workingDirectory), expected);
  }
}

TEST(ShellExecuteTest, EmptyWorkingDirectoryMeansTheCurrentOne) {
  ScopedMedium medium;
  writeExecutable(medium, "tool.sh", recordingProgram);
  platform::ProcessHandle process = 0;
  ASSERT_TRUE(platform::shellExecute("tool.sh", "x", "", process));
  platform::waitForProcess(process);
  EXPECT_EQ(seenAfterParent(medium.root()), (std::vector<std::string>{medium.root(), "[x]"}));
}

TEST(ShellExecuteTest, ReportsWhatCannotBeStarted) {
  ScopedMedium medium;
  writeExecutable(medium, "tool.sh", recordingProgram);
  writeExecutable(medium, "broken.sh", "#!/nonexistent/interpreter\n");
  struct Case {
    std::string file;
    std::string parameters;
    std::string workingDirectory;
  };
  const std::vector<Case> cases = {
      {medium.path("missing.sh"), "", ""},
      {medium.path("missing.pdf"), "", ""},
      {"", "", ""},
      {medium.path("tool.sh"), "\"unbalanced", ""},
      {medium.path("tool.sh"), "", medium.path("no such folder")},
      {medium.path("broken.sh"), "", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file + " " + c.parameters + " in " + c.workingDirectory);
    platform::ProcessHandle process = 99;
    EXPECT_FALSE(platform::shellExecute(c.file, c.parameters, c.workingDirectory, process));
    EXPECT_EQ(process, 0);
    EXPECT_FALSE(platform::shellOpen(0, c.file, c.parameters, c.workingDirectory));
  }
  EXPECT_FALSE(boost::filesystem::exists(medium.path("seen.txt")));
  platform::waitForProcess(0);  // returns at once
}

TEST(ShellOpenTest, StartsProgramsDetachedFromUs) {
  ScopedMedium medium;
  writeExecutable(medium, "Program/tool.sh", recordingProgram);
  ASSERT_TRUE(platform::shellOpen(0, "Program/tool.sh", "\"D I C O M\"", medium.root()));
  ASSERT_TRUE(
      testsupport::waitUntil([&] { return boost::filesystem::exists(medium.path("seen.txt")); }, 10000));
  std::vector<std::string> seen = lines(readFile(medium.path("seen.txt")));
  ASSERT_EQ(seen.size(), 3u);
  // Its parent is not this process, so it can never become our zombie.
  EXPECT_NE(seen[0], std::to_string(getpid()));
  EXPECT_EQ(seen[1], medium.root());
  EXPECT_EQ(seen[2], "[D I C O M]");
}

// Documents and addresses go to the desktop's default applications; GIO reads
// the desktop once per process, so this runs in a child with a desktop of its own.
TEST(ShellOpenTest, HandsDocumentsAndAddressesToTheDefaultApplication) {
  const std::string testName = "ShellOpenTest.HandsDocumentsAndAddressesToTheDefaultApplication";
  if (testsupport::childRunRole() == "open-documents") {
    ScopedMedium medium;
    // Executable marks as on FAT or ISO 9660 media do not make a report a program.
    writeExecutable(medium, "reports/report 1.pdf", "%PDF-1.4\n%%EOF\n");
    medium.writeFile("reports/notes.unknown", std::string("\x01\x02\x03\x00\xff", 5));
    // A page as the navigator writes it: an .html file that begins like XHTML.
    medium.writeFile("reports/page.html",
                     "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                     "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n"
                     "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body></body></html>\n");
    const std::string log = std::getenv("VELMORA_HANDLER_LOG");
    EXPECT_TRUE(platform::shellOpen(0, "reports/report 1.pdf", "", ""));
    EXPECT_TRUE(platform::shellOpen(0, "https://example.org/a?b=1&c=2", "", ""));
    platform::ProcessHandle process = 99;
    EXPECT_TRUE(platform::shellExecute("report 1.pdf", "", medium.path("reports"), process));
    EXPECT_EQ(process, 0);
    EXPECT_FALSE(platform::shellOpen(0, "reports/notes.unknown", "", ""));
    EXPECT_TRUE(platform::shellOpen(0, "reports/page.html", "", ""));
    ASSERT_TRUE(testsupport::waitUntil([&] { return lines(readFile(log)).size() >= 4; }, 20000));
    std::vector<std::string> handled = lines(readFile(log));
    // GIO hands a local document to the application as its absolute path.
    std::string report = medium.path("reports/report 1.pdf");
    // The handler gets the desktop's own values of the disc runtime's variables.
    const std::string host = " none /host/dicom.dic";
    EXPECT_EQ(
        std::multiset<std::string>(handled.begin(), handled.end()),
        (std::multiset<std::string>{report + host, report + host, "https://example.org/a?b=1&c=2" + host,
                                    medium.path("reports/page.html") + host}));
    return;
  }

  testsupport::DesktopEnvironment desktop;
  std::string handler = desktop.root() + "/handler.sh";
  std::string log = desktop.root() + "/handled.log";
  {
    FILE *out = std::fopen(handler.c_str(), "w");
    ASSERT_NE(out, nullptr);
    std::fputs(
        "#!/bin/sh\nprintf '%s %s %s\\n' \"$1\" \"${GTK_EXE_PREFIX-none}\" \"${DCMDICTPATH-none}\" >> "
        "\"$VELMORA_HANDLER_LOG\"\n",
        out);
    std::fclose(out);
    ASSERT_EQ(chmod(handler.c_str(), 0755), 0);
  }
  desktop.addDefaultHandler(
      "recorder", handler + " %u",
      {"application/pdf", "text/html", "x-scheme-handler/http", "x-scheme-handler/https"});
  auto environment = desktop.variables();
  environment["VELMORA_HANDLER_LOG"] = log;
  // As autorun.sh leaves them: one variable the desktop did not have, one it had.
  environment["VELMORA_RUNTIME_ENV"] = "GTK_EXE_PREFIX DCMDICTPATH";
  environment["GTK_EXE_PREFIX"] = "/disc/gtk";
  environment["DCMDICTPATH"] = "gtk/share/dcmtk/dicom.dic";
  environment["VELMORA_HOST_DCMDICTPATH"] = "/host/dicom.dic";
  testsupport::ChildResult child = testsupport::runTestInChild(testName, "open-documents", environment);
  EXPECT_EQ(child.exitStatus, 0) << child.output;
  EXPECT_NE(child.output.find("[  PASSED  ] 1 test"), std::string::npos) << child.output;
}

// A process whose standard output is read line by line; killed with the test.
class Background {
 public:
  explicit Background(std::vector<std::string> argv, const std::map<std::string, std::string> &extra = {}) {
    std::vector<char *> args;
    for (std::string &argument : argv) args.push_back(argument.data());
    args.push_back(nullptr);
    gchar **environment = g_get_environ();
    for (const auto &[name, value] : extra)
      environment = g_environ_setenv(environment, name.c_str(), value.c_str(), TRUE);
    int out = -1;
    bool started = g_spawn_async_with_pipes(nullptr, args.data(), environment, G_SPAWN_SEARCH_PATH, nullptr,
                                            nullptr, &pid_, nullptr, &out, nullptr, nullptr);
    g_strfreev(environment);
    if (started) output_ = ::fdopen(out, "r");
  }
  ~Background() {
    if (pid_ > 0) ::kill(pid_, SIGTERM), g_spawn_close_pid(pid_);
    if (output_ != nullptr) std::fclose(output_);
  }
  std::string firstLine() {
    char line[4096] = "";
    if (output_ == nullptr || std::fgets(line, sizeof line, output_) == nullptr) return "";
    return std::string(line, std::strcspn(line, "\n"));
  }

 private:
  GPid pid_ = 0;
  FILE *output_ = nullptr;
};

// A confined browser (a snap's or a flatpak's) has a /tmp and a runtime folder
// of its own and reads our pages only through the desktop's document portal.
TEST(ShellOpenTest, ThePortalHandsThePageToABrowserThatCannotReadOurFolders) {
  const std::string testName = "ShellOpenTest.ThePortalHandsThePageToABrowserThatCannotReadOurFolders";
  const std::string page = "<html><body>Opis badania: bez zmian.</body></html>";
  if (testsupport::childRunRole() == "portal") {
    ScopedMedium working;  // a private folder under the temporary folder, as the working directory is
    working.writeFile("opis.html", page);
    EXPECT_TRUE(platform::shellOpen(0, working.path("opis.html"), "", ""));
    return;
  }
  for (const char *program : {"bwrap", "dbus-daemon"})
    if (UniqueString(g_find_program_in_path(program)) == nullptr) GTEST_SKIP() << program << " is needed";
  testsupport::DesktopEnvironment desktop;
  const std::string log = desktop.root() + "/handled.log";
  // Started without the portal, the browser would be given the page's name.
  desktop.addDefaultHandler("browser", "sh -c 'echo by name >> " + log + "' %f", {"text/html"});
  Background bus({"dbus-daemon", "--session", "--nofork", "--print-address=1"});
  const std::string address = bus.firstLine();
  ASSERT_FALSE(address.empty());
  Background portal({std::string(VELMORA_TEST_DATA_DIR) + "/platform/posix/fake_document_portal.py", log},
                    {{"DBUS_SESSION_BUS_ADDRESS", address}});
  ASSERT_EQ(portal.firstLine(), "ready");
  auto environment = desktop.variables();
  environment["DBUS_SESSION_BUS_ADDRESS"] = address;
  testsupport::ChildResult child = testsupport::runTestInChild(testName, "portal", environment);
  EXPECT_EQ(child.exitStatus, 0) << child.output;
  EXPECT_EQ(readFile(log), page + "\nname: unreadable\n");
}

}  // namespace
