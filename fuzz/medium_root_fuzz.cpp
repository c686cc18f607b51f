// Fuzzes the medium-root rules with arbitrary command lines.
#include "base/medium_root.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Arguments are separated by NUL bytes in the input.
  std::vector<std::string> arguments(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0)
      arguments.emplace_back();
    else
      arguments.back().push_back(static_cast<char>(data[i]));
  }
  std::string root = mediumRootFromArguments(arguments, "/cwd");
  if (root.empty() || (root.back() != '/' && root.back() != '\\')) std::abort();
  rootFromProgramPath(arguments.front());
  return 0;
}
