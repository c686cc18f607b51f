// A picture whose pixels cannot be allocated, in a process whose address
// space is limited as only POSIX systems allow.
#include "catalogue/picture_decoder.h"

#include "support/child_run.h"
#include "support/picture_bytes.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <cstdlib>
#include <fstream>

namespace {

using namespace testsupport;

// Pixels that cannot be allocated are said to be memory, not damage: the
// build's warning blames the disc, the trace must not. Run in a child process
// whose address space is limited (sanitizers reserve too much of it).
TEST(PictureDecoder, PixelsThatCannotBeAllocatedAreSaidToBeShortOfMemory) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "sanitizers reserve the address space";
#endif
  if (childRunRole() == "limited") {
    long kilobytes = 0;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("VmSize:", 0) == 0) kilobytes = std::stol(line.substr(7));
    rlim_t bytes = static_cast<rlim_t>(kilobytes + 64 * 1024) * 1024;
    rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_AS, &limit);
    PictureFailure png = decodePicture(pngDeclaring(8000, 8000)).failure;
    PictureFailure jpeg = decodePicture(jpegDeclaring(8000, 8000)).failure;
    std::_Exit(png == PictureFailure::outOfMemory && jpeg == PictureFailure::outOfMemory ? 0 : 1);
  }
  ChildResult child =
      runTestInChild("PictureDecoder.PixelsThatCannotBeAllocatedAreSaidToBeShortOfMemory", "limited", {});
  EXPECT_EQ(child.exitStatus, 0) << child.output;
}

}  // namespace
