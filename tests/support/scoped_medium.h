// A medium folder made for one test: created in a fresh temporary directory,
// made the current directory, and removed again with everything the test left.
#pragma once

#include <string>

namespace testsupport {

class ScopedMedium {
 public:
  ScopedMedium();
  ~ScopedMedium();
  ScopedMedium(const ScopedMedium &) = delete;
  ScopedMedium &operator=(const ScopedMedium &) = delete;

  // Absolute path of the medium root, without a final separator.
  const std::string &root() const { return root_; }
  std::string path(const std::string &relative) const { return root_ + "/" + relative; }

  // Creates a file (and its folders) with the given bytes.
  void writeFile(const std::string &relative, const std::string &content) const;
  void makeDirectory(const std::string &relative) const;
  // Writes a small valid PNG or JPEG picture of the given size.
  void writePicture(const std::string &relative, int width, int height) const;

 private:
  std::string root_;
  std::string previousDirectory_;
};

// Reads a whole file; empty when it cannot be read.
std::string readFile(const std::string &path);

}  // namespace testsupport
