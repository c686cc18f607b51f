// make-disc-image DIR OUT.iso [--label TEXT] [--burn DEVICE]: the burnable
// image of a disc folder, burnt and verified on request;
// make-disc-image --burn DEVICE IMAGE.iso burns an image made before.
#include "disc_image.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::atomic<bool> interrupted{false};

void onSignal(int) { interrupted = true; }

}  // namespace

int main(int argc, char **argv) {
  std::string label, device;
  std::vector<const char *> positional;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--label") == 0 && i + 1 < argc)
      label = argv[++i];
    else if (std::strcmp(argv[i], "--burn") == 0 && i + 1 < argc)
      device = argv[++i];
    else
      positional.push_back(argv[i]);
  }
  const bool burnOnly = positional.size() == 1 && !device.empty() && label.empty();
  if (positional.size() != 2 && !burnOnly) {
    std::fprintf(stderr,
                 "Usage: make-disc-image DIR OUT.iso [--label TEXT] [--burn DEVICE]\n"
                 "       make-disc-image --burn DEVICE IMAGE.iso\n"
                 "DEVICE: a drive (/dev/sr0) or stdio:FILE, a file-backed pseudo drive\n");
    return 2;
  }
  // An interrupted run stops xorriso and removes every file it began.
  struct sigaction action = {};
  action.sa_handler = onSignal;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  std::string error;
  if (burnOnly) positional.push_back(positional[0]);
  if (!burnOnly && !discimage::makeDiscImage(positional[0], positional[1], label, &error, &interrupted)) {
    std::fprintf(stderr, "make-disc-image: %s\n", error.c_str());
    return 1;
  }
  if (!burnOnly)
    std::printf(
        "%s: label %s\n", positional[1],
        (label.empty() ? discimage::labelFromPatientData(positional[0]) : discimage::volumeLabel(label))
            .c_str());
  if (device.empty()) return 0;
  size_t verified = 0;
  if (!discimage::burnImage(positional[1], device, &verified, &error, &interrupted)) {
    std::fprintf(stderr, "make-disc-image: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s: written and read back, all %zu files match SHA256SUMS\n", device.c_str(), verified);
  return 0;
}
