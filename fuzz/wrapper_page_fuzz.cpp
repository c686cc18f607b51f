// Fuzzes the joining of the wrapper page: any report bytes give the head, the
// report up to its first NUL, and the tail, with nothing added or lost.
#include "descriptions/wrapper_page.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string report(reinterpret_cast<const char *>(data), size);
  std::string page = wrapperPageText(report);
  const std::string &head = wrapperPageHead();
  const std::string &tail = wrapperPageTail();
  size_t kept = report.find('\0');
  if (kept == std::string::npos) kept = report.size();

  if (page.size() != head.size() + kept + tail.size()) std::abort();
  if (page.compare(0, head.size(), head) != 0) std::abort();
  if (page.compare(head.size(), kept, report, 0, kept) != 0) std::abort();
  if (page.compare(head.size() + kept, tail.size(), tail) != 0) std::abort();
  if (wrapperPageText(std::nullopt) != head) std::abort();
  return 0;
}
