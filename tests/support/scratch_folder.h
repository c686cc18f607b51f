// A temporary folder of a test's own, outside any medium (a place for links
// on a medium to lead to), removed with everything in it at the end.
#pragma once

#include <string>

namespace testsupport {

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder &) = delete;
  ScratchFolder &operator=(const ScratchFolder &) = delete;

  const std::string &root() const { return root_; }
  std::string path(const std::string &relative) const { return root_ + "/" + relative; }

 private:
  std::string root_;
};

}  // namespace testsupport
