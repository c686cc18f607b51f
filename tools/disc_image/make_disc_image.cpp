// make-disc-image DIR OUT.iso [--label TEXT]: the burnable image of a disc folder.
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
  std::string label;
  std::vector<const char *> positional;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--label") == 0 && i + 1 < argc)
      label = argv[++i];
    else
      positional.push_back(argv[i]);
  }
  if (positional.size() != 2) {
    std::fprintf(stderr, "Usage: make-disc-image DIR OUT.iso [--label TEXT]\n");
    return 2;
  }
  // An interrupted run stops xorriso and removes every file it began.
  struct sigaction action = {};
  action.sa_handler = onSignal;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  std::string error;
  if (!discimage::makeDiscImage(positional[0], positional[1], label, &error, &interrupted)) {
    std::fprintf(stderr, "make-disc-image: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s: label %s\n", positional[1],
              (label.empty() ? discimage::labelFromPatientData(positional[0]) : discimage::volumeLabel(label))
                  .c_str());
  return 0;
}
