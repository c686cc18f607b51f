// Test main: starts the toolkit once for the whole binary, with the program's
// thread lock held by the main thread as in the running program.
#include "app/application.h"
#include "base/quit_request.h"
#include "platform/platform.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <clocale>
#include <cstring>

namespace {

// Closing a main window asks the program to end; the next test is a new run.
class FreshQuitRequest : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo &) override { clearQuitRequest(); }
};

}  // namespace

int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new FreshQuitRequest);
  bool listing = false;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--gtest_list_tests") == 0) listing = true;
  if (listing) return RUN_ALL_TESTS();

  // As the program starts: paths are UTF-8 everywhere, on Windows too.
  platform::prepareProcess();
  std::setlocale(LC_ALL, "C.UTF-8");
  initToolkitThreads();
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "These tests need a display: run them under xvfb-run.\n");
    return 1;
  }
  gdk_threads_enter();
  int result = RUN_ALL_TESTS();
  gdk_threads_leave();
  return result;
}
