// bundle-runtime PROGRAM DISC [--also BUILT=ON/DISC ...]: puts the program and
// the runtime it needs on a disc folder (gtk/bin, gtk/lib, autorun.sh).
#include "runtime_bundle.h"

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
  runtimebundle::BundleOptions options;
  std::vector<const char *> positional;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--also") == 0 && i + 1 < argc) {
      const char *pair = argv[++i];
      const char *equals = std::strchr(pair, '=');
      if (!equals) {
        std::fprintf(stderr, "bundle-runtime: --also wants BUILT=PATH_ON_DISC\n");
        return 2;
      }
      options.programs.emplace_back(std::string(pair, equals), std::string(equals + 1));
    } else {
      positional.push_back(argv[i]);
    }
  }
  if (positional.size() != 2) {
    std::fprintf(stderr, "Usage: bundle-runtime PROGRAM DISC_FOLDER [--also BUILT=PATH_ON_DISC]...\n");
    return 2;
  }
  runtimebundle::BundleSummary summary;
  std::string error;
  if (!runtimebundle::bundleRuntime(positional[0], positional[1], options, &summary, &error)) {
    std::fprintf(stderr, "bundle-runtime: %s\n", error.c_str());
    return 1;
  }
  std::printf(
      "%s: %zu libraries, %zu picture loaders, %zu toolkit modules, %.1f MB; needs glibc %s, GLIBCXX_%s\n",
      positional[1], summary.libraries.size(), summary.loaders.size(), summary.modules.size(),
      summary.bytes / 1e6, summary.oldestGlibc.c_str(), summary.oldestLibstdcxx.c_str());
  return 0;
}
