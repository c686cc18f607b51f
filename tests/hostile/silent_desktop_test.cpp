// A session bus that accepts connections and never answers, and PDF reports that are a pipe or a folder:
// nothing waits for ever, the reader still gets the report, a real SIGTERM is not kept waiting.
#include "app/termination.h"
#include "base/medium_root.h"
#include "base/quit_request.h"
#include "descriptions/description_opening.h"
#include "support/child_run.h"
#include "support/desktop_environment.h"
#include "support/gui.h"
#include "support/scoped_medium.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <csignal>
#include <thread>

// Listens at the session bus address and never accepts: the system completes each connection, and every read
// waits for ever.
int silentBus(const std::string &address) {
  g_setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), TRUE);
  struct sockaddr_un socketAddress = {AF_UNIX, {}};
  address.copy(socketAddress.sun_path, sizeof socketAddress.sun_path - 1, 10);  // after "unix:path="
  int bus = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ::bind(bus, reinterpret_cast<sockaddr *>(&socketAddress), sizeof socketAddress);
  return ::listen(bus, 16) == 0 ? bus : -1;
}

TEST(SilentDesktop, ReportsNeverWaitOnASilentBusOrOnAPipeAndAnEndRequestIsHeard) {
  using namespace testsupport;
  if (childRunRole() == "silent-bus") {
    const std::string address = g_getenv("DBUS_SESSION_BUS_ADDRESS");
    ASSERT_GE(silentBus(address), 0);
    ScopedMedium medium;
    medium.writeFile("opis.pdf", "%PDF-1.4\n");
    medium.makeDirectory("katalog.pdf");
    ASSERT_EQ(::mkfifo("potok.pdf", 0644), 0);
    currentPath = medium.root() + "/";
    installTerminationHandlers();
    for (const char *entry : {"opis.pdf", "potok.pdf", "katalog.pdf"}) openDescription(entry, nullptr);
    // The reader gets the report; the pipe and the folder get the warning.
    const std::string handled = std::string(g_getenv("XDG_CONFIG_HOME")) + "/handled.log";
    EXPECT_TRUE(waitUntil([&] { return readFile(handled) == medium.path("opis.pdf") + "\n"; }));
    EXPECT_EQ(messageDialogsTitled("Opis badania").size(), 2u);
    // SIGTERM once the opening waits for the bus: the wait ends and nothing more is started.
    std::thread terminator([bus = silentBus(address + "2")] {
      struct pollfd connection = {bus, POLLIN, 0};
      if (::poll(&connection, 1, 60000) == 1) ::kill(::getpid(), SIGTERM);
    });
    openDescription("opis.pdf", nullptr);
    terminator.join();
    EXPECT_TRUE(quitRequested());
    EXPECT_EQ(readFile(handled), medium.path("opis.pdf") + "\n");
    return clearQuitRequest();
  }
  DesktopEnvironment desktop;
  g_file_set_contents((desktop.root() + "/pdf.sh").c_str(),
                      "#!/bin/sh\necho \"$1\" >>\"$XDG_CONFIG_HOME/handled.log\"", -1, nullptr);
  ASSERT_EQ(::chmod((desktop.root() + "/pdf.sh").c_str(), 0755), 0);
  desktop.addDefaultHandler("reader", desktop.root() + "/pdf.sh %f", {"application/pdf"});
  g_mkdir_with_parents(
      (desktop.root() + "/config/velmora-brelantor/registry/HKEY_CURRENT_USER/SOFTWARE/Adobe/Acrobat Reader")
          .c_str(),
      0700);
  auto environment = desktop.variables();
  environment["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + desktop.root() + "/bus";
  ChildResult child = runTestInChild(
      "SilentDesktop.ReportsNeverWaitOnASilentBusOrOnAPipeAndAnEndRequestIsHeard", "silent-bus", environment);
  EXPECT_NE(child.output.find("[  PASSED  ] 1 test"), std::string::npos) << child.output;
}
