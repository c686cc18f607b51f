// Diagnostic lines on standard output.
#include "base/trace.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex traceMutex;
}

void trace(const std::string &line) {
  std::lock_guard<std::mutex> lock(traceMutex);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void traceNoBreak(const std::string &text) {
  std::lock_guard<std::mutex> lock(traceMutex);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}
